#pragma once
// Test boards for virtual FT60x devices: an echo device that sends every byte it receives
// straight back, and records what happened to it.

#include <vetra/ft60x_virtual.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class echo_provider : public ft60x_virtual::provider {
public:
    void attach(ft60x_virtual::device_port *port) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port_ = port;
        ++attaches;
    }

    void fromHost(const std::uint8_t *data, std::size_t size) override
    {
        std::unique_lock<std::mutex> lock(mutex_);
        received.insert(received.end(), data, data + size);
        inFromHost_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return !holdWrites_; });
        inFromHost_ = false;
        if (echo && port_)
            port_->toHost(data, size);
    }

    void detach() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        port_ = nullptr;
        ++detaches;
        changed_.notify_all();
    }

    // Sends bytes to the host as if the board produced them.
    bool push(const std::vector<std::uint8_t> &bytes)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!port_)
            return false;
        port_->toHost(bytes.data(), bytes.size());
        return true;
    }

    // While held, fromHost does not return: the OUT pipe stays busy.
    void holdWrites(bool hold)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        holdWrites_ = hold;
        changed_.notify_all();
    }

    bool waitInFromHost()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return inFromHost_; });
    }

    std::vector<std::uint8_t> receivedBytes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received;
    }

    std::atomic<int> attaches{0};
    std::atomic<int> detaches{0};
    std::atomic<bool> echo{true};

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    ft60x_virtual::device_port *port_ = nullptr;
    bool holdWrites_ = false;
    bool inFromHost_ = false;
    std::vector<std::uint8_t> received;
};

// Adds a virtual device for the life of the object.
class scoped_device {
public:
    scoped_device(const std::string &serial, std::shared_ptr<ft60x_virtual::provider> board,
                  const std::string &description = "Virtual test bridge")
        : serial_(serial)
    {
        added_ = ft60x_virtual::addDevice({serial, description}, std::move(board));
    }
    ~scoped_device() { ft60x_virtual::removeDevice(serial_); }
    scoped_device(const scoped_device &) = delete;
    scoped_device &operator=(const scoped_device &) = delete;

    bool added() const { return added_; }
    const std::string &serial() const { return serial_; }

private:
    std::string serial_;
    bool added_ = false;
};
