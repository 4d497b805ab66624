#include "commands/BuildTime.hpp"

#include "primitives/Utils.hpp"

namespace kkt {

std::time_t buildTime() {
    static const std::time_t value =
        util::dateFromText(kBuildStamp, "%b %d %Y %H:%M:%S").value_or(std::time_t{0});
    return value;
}

}  // namespace kkt
