#include "registration/CoreState.hpp"

namespace kkt {

CoreState::CoreState()
    : model_(std::make_shared<ModelData>()), cash_(std::make_shared<CashStatusData>()) {}

std::shared_ptr<ModelData> CoreState::modelData() const {
    std::lock_guard lock(mutex_);
    return model_;
}

void CoreState::setModelData(const ModelData& m) {
    std::lock_guard lock(mutex_);
    if (model_) {
        *model_ = m;
    } else {
        model_ = std::make_shared<ModelData>(m);
    }
}

void CoreState::resetModelData() {
    std::lock_guard lock(mutex_);
    model_.reset();
}

Bytes CoreState::deviceId() const {
    std::lock_guard lock(mutex_);
    return deviceId_;
}

void CoreState::setDeviceId(Bytes id) {
    std::lock_guard lock(mutex_);
    deviceId_ = std::move(id);
}

std::shared_ptr<CashStatusData> CoreState::cashStatus() const {
    std::lock_guard lock(mutex_);
    return cash_;
}

void CoreState::setCashStatus(std::shared_ptr<CashStatusData> c) {
    std::lock_guard lock(mutex_);
    cash_ = std::move(c);
}

void CoreState::resetCashStatus() {
    std::lock_guard lock(mutex_);
    cash_ = std::make_shared<CashStatusData>();
}

std::shared_ptr<RegData> CoreState::regData() const {
    std::lock_guard lock(mutex_);
    return reg_;
}

void CoreState::setRegData(const RegData& r) {
    std::lock_guard lock(mutex_);
    if (reg_) {
        *reg_ = r;
    } else {
        reg_ = std::make_shared<RegData>(r);
    }
}

void CoreState::resetRegData() {
    std::lock_guard lock(mutex_);
    reg_.reset();
}

std::shared_ptr<FsFullStatus> CoreState::fsStatus() const {
    std::lock_guard lock(mutex_);
    return fsStatus_;
}

void CoreState::setFsStatus(std::shared_ptr<FsFullStatus> s) {
    std::lock_guard lock(mutex_);
    fsStatus_ = std::move(s);
}

void CoreState::resetFsStatus() {
    std::lock_guard lock(mutex_);
    fsStatus_ = std::make_shared<FsFullStatus>();
}

std::optional<Bytes> CoreState::modelAnswer() const {
    std::lock_guard lock(mutex_);
    if (!model_ || !model_->isValid())
        return std::nullopt;
    return model_->answer();
}

CoreState& coreState() {
    static CoreState state;
    return state;
}

}  // namespace kkt
