#pragma once
// The store of records that both threads of the core read: the factory record, the device id and
// the cash record (more records join it as the core grows). One mutex guards every field; each
// operation holds it for its own duration only and calls nothing outside the store meanwhile.

#include <memory>
#include <mutex>
#include <optional>

#include "fs/FsFullStatus.hpp"
#include "link/LinkRecords.hpp"
#include "primitives/Bytes.hpp"
#include "registration/CashStatusData.hpp"
#include "registration/ModelData.hpp"
#include "registration/RegData.hpp"

namespace kkt {

class CoreState final : public LinkRecords {
  public:
    CoreState();

    // Factory record. set copies into the existing object, so earlier holders of the pointer see
    // the new record; reset drops it (get then yields null until the next set).
    [[nodiscard]] std::shared_ptr<ModelData> modelData() const;
    void setModelData(const ModelData& m);
    void resetModelData();

    [[nodiscard]] Bytes deviceId() const override;
    void setDeviceId(Bytes id);

    // Cash record: set and reset replace the object, so earlier holders keep what they had.
    [[nodiscard]] std::shared_ptr<CashStatusData> cashStatus() const;
    void setCashStatus(std::shared_ptr<CashStatusData> c);
    void resetCashStatus();

    // Registration data (read back from the FS at start, or made by a registration); null while
    // there is none. set copies the fields into the existing object (made by the first set);
    // reset drops it.
    [[nodiscard]] std::shared_ptr<RegData> regData() const;
    void setRegData(const RegData& r);
    void resetRegData();

    // The cached FS status: set replaces the object, reset puts a new default one in its place.
    [[nodiscard]] std::shared_ptr<FsFullStatus> fsStatus() const;
    void setFsStatus(std::shared_ptr<FsFullStatus> s);
    void resetFsStatus();

    // For the host link thread: the bytes are copied under the lock, so a record being
    // rewritten in place by the core thread is never read half-way.
    [[nodiscard]] std::optional<Bytes> modelAnswer() const override;

  private:
    mutable std::mutex mutex_;
    std::shared_ptr<ModelData> model_;
    Bytes deviceId_;
    std::shared_ptr<CashStatusData> cash_;
    std::shared_ptr<RegData> reg_;
    std::shared_ptr<FsFullStatus> fsStatus_ = std::make_shared<FsFullStatus>();
};

// The process-wide store, made on first use.
CoreState& coreState();

}  // namespace kkt
