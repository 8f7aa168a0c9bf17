#pragma once
// A scripted memory board behind a virtual FT60x device, for tests of the library class over
// the D3XX transport. It frames packets with the public packet codec and answers them
// as the board's memory engine does.

#include <vetra/ft60x_virtual.h>
#include <vetra/packet_codec.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

// Memory requests on streams 1 (reads) and 2 (writes) go to a word map; an address listed in
// `faults` answers with that status word. Unwritten words read as `unwrittenBase` + address.
class memory_board : public ft60x_virtual::provider {
public:
    explicit memory_board(std::uint32_t unwrittenBase = 0xC0DE0000u) : unwrittenBase_(unwrittenBase) {}

    void attach(ft60x_virtual::device_port *port) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port_ = port;
    }
    void detach() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port_ = nullptr;
    }
    void fromHost(const std::uint8_t *data, std::size_t size) override
    {
        for (std::size_t i = 0; i < size; ++i) {
            if (data[i] != 0) {
                frame_.push_back(data[i]);
            } else if (!frame_.empty()) {
                handle(frame_);
                frame_.clear();
            }
        }
    }

    // Sends one packet to the host from any thread.
    void send(std::uint8_t stream, const std::vector<std::uint32_t> &payload)
    {
        const auto bytes = packet_codec::encode(stream, payload);
        std::lock_guard<std::mutex> lock(mutex_);
        if (port_)
            port_->toHost(bytes.data(), bytes.size()); // one call per frame keeps frames whole
    }

    std::map<std::uint32_t, std::uint32_t> faults;
    std::atomic<int> badFrames{0};

private:
    void handle(const std::vector<std::uint8_t> &frame)
    {
        packet_codec::packet packet;
        if (packet_codec::decode(frame.data(), frame.size(), packet) || packet.payload.size() < 3) {
            ++badFrames;
            return;
        }
        const std::uint8_t stream = packet.stream;
        const std::vector<std::uint32_t> &words = packet.payload;
        const std::uint32_t id = words[0], address = words[1], control = words[2];
        const std::uint32_t count = control & 0x1FFFFF;
        const bool fixed = control & (1u << 24);
        const auto fault = faults.find(address);
        const std::uint32_t status = fault == faults.end() ? 8 : fault->second;
        std::vector<std::uint32_t> response{id, address, control & ~(1u << 25)};
        if (stream == 1) {
            for (std::uint32_t i = 0; i < count; ++i) {
                const std::uint32_t a = fixed ? address : address + i;
                const auto it = memory_.find(a);
                response.push_back(it == memory_.end() ? unwrittenBase_ + a : it->second);
            }
        } else if (stream == 2) {
            if (status == 8)
                for (std::uint32_t i = 0; i + 3 < words.size(); ++i)
                    memory_[fixed ? address : address + i] = words[3 + i];
            if (!(control & (1u << 25)))
                return;
        } else {
            return;
        }
        response.push_back(status);
        send(stream, response);
    }

    std::mutex mutex_;
    ft60x_virtual::device_port *port_ = nullptr;
    std::vector<std::uint8_t> frame_;
    std::map<std::uint32_t, std::uint32_t> memory_;
    const std::uint32_t unwrittenBase_;
};
