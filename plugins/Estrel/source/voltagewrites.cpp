#include "voltagewrites.h"

std::vector<VoltageWrite> planVoltageWrites(const std::vector<std::pair<std::uint16_t, double>> &pending)
{
    std::vector<VoltageWrite> writes;
    for (const auto &[channel, volts] : pending) {
        VoltageWrite *target = nullptr;
        for (VoltageWrite &write : writes) {
            // Voltages of one selection change are copies of the same double: exact equality
            // is what groups them, and nothing else should be merged.
            if (write.volts == volts) {
                target = &write;
                break;
            }
        }
        if (!target) {
            writes.push_back({{}, volts});
            target = &writes.back();
        }
        target->channels.push_back(channel);
    }
    return writes;
}
