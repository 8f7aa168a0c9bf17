#include "tuningoutcome.h"

#include "tdc/tdcerror.h"

TuningOutcome tuningOutcome(const std::error_code &ec)
{
    if (!ec)
        return TuningOutcome::Applied;
    // Compared as a condition: the value of ECANCELED differs between platforms.
    if (ec == std::errc::operation_canceled)
        return TuningOutcome::Cancelled;
    if (ec == make_error_code(tdcError::fixedThreshold))
        return TuningOutcome::Fixed;
    return TuningOutcome::Failed;
}
