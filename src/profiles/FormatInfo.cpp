#include "profiles/FormatInfo.h"

std::unique_ptr<TFormatInfo> TFormatInfo::Clone() const {
    auto copy = std::make_unique<TFormatInfo>(*this);
    copy->Order = 0;
    return copy;
}
