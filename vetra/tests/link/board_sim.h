#pragma once
// A scripted board on the far side of a pseudo-terminal: it decodes every packet the host
// writes (multiCOBS, CRC-32C), hands it to a script or queues it for the test, and sends
// packets back in the board's format. Used with the real serial transport on the other side.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class board_sim {
public:
    struct packet {
        std::uint8_t stream = 0;
        std::vector<std::uint32_t> payload;
        std::vector<std::uint8_t> wire; // the encoded bytes, delimiter excluded
    };
    // Runs on the board's reader thread for every valid packet; return true when handled,
    // false to queue the packet for `next`.
    using script = std::function<bool(board_sim &, const packet &)>;

    board_sim();
    ~board_sim();

    // The pseudo-terminal's slave side, to open as a serial port.
    const std::string &portName() const { return portName_; }
    // Closes the slave descriptor the board held open since creation (call once the host has
    // opened the port, so that closing the master is seen as the device going away).
    void releaseSlave();
    // The slave descriptor while the board still holds it (terminal settings are shared by
    // every descriptor of the terminal).
    int slaveFd() const { return slave_; }
    // The device goes away.
    void closeMaster();

    void setScript(script s);

    // Sends one packet {stream id, payload, CRC} encoded and delimited.
    void send(std::uint8_t stream, const std::vector<std::uint32_t> &payload);
    void sendBytes(const std::vector<std::uint8_t> &bytes);

    // The next packet not taken by the script; false after `timeout` without one.
    bool next(packet &out, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Packets the board could not decode or whose CRC was wrong.
    int badPackets() const { return badPackets_.load(); }

    // The logical words {stream id, payload..., CRC} of a packet, and their wire encoding
    // (with the delimiter word).
    static std::vector<std::uint32_t> logicalPacket(std::uint8_t stream, const std::vector<std::uint32_t> &payload);
    static std::vector<std::uint8_t> encodePacket(std::uint8_t stream, const std::vector<std::uint32_t> &payload);

    // The standard memory responder: reads are answered with data word i = address + i and
    // status `status`; writes that ask for a response with their word count and `status`.
    static void answer(board_sim &board, const packet &request, std::uint32_t status = 8);

private:
    void readLoop();
    void handleFrame(const std::vector<std::uint8_t> &frame);

    int master_ = -1;
    int slave_ = -1;
    std::string portName_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closeRequested_{false};
    std::thread reader_;
    std::mutex writeMutex_;

    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<packet> queue_;
    script script_;
    std::atomic<int> badPackets_{0};
};
