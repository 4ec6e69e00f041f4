// The client's side of the UDP game channel: the flood-guarded send, the sender check
// of incoming datagrams, clock beats, movement records with their key times, their
// acknowledgements and their retransmission. No sockets and no timers: the owner
// (the connection window, or a headless bot) hands in datagrams and timer ticks and
// supplies the functions that send. Time comes from platform::TickCount() and the
// game timer, so tests drive it with the fake clock.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/messages.h"
#include "net/protocol.h"

namespace net {

class TGameTimer;

// Virtual-key codes of the four movement keys.
inline constexpr uint8_t VK_LEFT = 0x25;
inline constexpr uint8_t VK_UP = 0x26;
inline constexpr uint8_t VK_RIGHT = 0x27;
inline constexpr uint8_t VK_DOWN = 0x28;

// Direction codes of movement records: 1 up, 2 down, 3 left, 4 right; 6 walks
// towards a target tile.
inline constexpr uint8_t DirUp = 1, DirDown = 2, DirLeft = 3, DirRight = 4, DirWalk = 6;

// The key of direction code 1 to 4; 0 for any other code.
uint8_t DirectionKey(uint8_t code);
// The direction code of a movement key; 0 for any other key.
uint8_t DirectionCode(uint8_t key);

// A walking target coordinate brought into 0 to 3071 (one lap at most).
int WrapTarget(int v);

class TGameChannel {
public:
    using TSend = std::function<void(std::string_view message)>;

    static constexpr uint32_t FloodInterval = 50;  // ms: closer sends count as a burst
    static constexpr int32_t FloodLimit = 5;

    explicit TGameChannel(TGameTimer& timer);

    // Datagrams (one framed message each) go to the server's UDP port; TCP messages
    // (client_entergame) through the connection. Log lines are the user-visible log
    // (AddLogLine); diagnostics go to the console. OnEnterGame shows the game window.
    void SetSendDatagram(TSend send) { sendDatagram_ = std::move(send); }
    void SetSendTCP(TSend send) { sendTCP_ = std::move(send); }
    void SetLog(std::function<void(std::string_view)> log) { log_ = std::move(log); }
    void SetOnEnterGame(std::function<void()> enter) { onEnterGame_ = std::move(enter); }
    // Called with each key acknowledgement that matched a key's latest key time.
    void SetOnKeyAck(std::function<void(uint8_t code, bool down, uint32_t keyTime)> onAck)
    {
        onKeyAck_ = std::move(onAck);
    }

    // The login window starts a connection: not entered.
    void ClearEntered() { entered_ = false; }
    // The login was accepted: every key counts as acknowledged and the retransmission
    // timer runs from now on.
    void LoginAccepted();

    // Sends one message as one datagram unless the flood guard drops it: sends less
    // than 50 ms apart raise the flood counter; from 5 on a send is dropped and the
    // counter falls by 2, so in a long burst every second one goes out. True when sent.
    bool SendUDP(std::string_view message);

    // The sender check: the datagram must come from the address of the connection
    // its endpoint is bound to. Passed ones go to ProcessDatagram.
    static void InUDPDataReceived(TVxProtocolFormat& format, const TSocketTable& sockets, TUDPEndpoint udp,
                                  std::string_view sourceAddress, uint16_t sourcePort, std::string_view datagram);

    // Handler cases.
    void server_beat(std::string_view payload);
    void server_beatackack(std::string_view payload);
    void server_keydown_ack(std::string_view payload) { KeyAck(payload, true); }
    void server_keyup_ack(std::string_view payload) { KeyAck(payload, false); }

    // Key handling of the game window (no chat line being typed).
    void KeyPressed(uint8_t key);
    void KeyReleased(uint8_t key);
    // Mouse walking: the target tile is wrapped into the world; the view position of
    // the mouse (320 x 200) decides when ResendWalkTarget sends a new target.
    void SendWalkTo(int mouseX, int mouseY, int targetX, int targetY);
    void ResendWalkTarget(int mouseX, int mouseY, int targetX, int targetY);
    void SendWalkStop();

    // One tick of the 50 ms RetransmitTimer (after the window's ResendWalkTarget):
    // every unacknowledged press or release older than twice the average ping is
    // sent again with its first key time.
    void RetransmitTimerTimer();

    bool RetransmitEnabled() const { return retransmitEnabled_; }
    bool Entered() const { return entered_; }
    bool Walking() const { return walking_; }
    uint8_t BeatSequence() const { return beatSequence_; }
    int64_t ClockOffset() const { return clockOffset_; }
    int64_t Ping() const { return ping_; }
    int64_t CorrectedOffset() const { return correctedOffset_; }
    int32_t FloodCounter() const { return floodCounter_; }
    uint8_t MoveSeq() const { return moveSeq_; }
    bool IsKeyDown(uint8_t key) const { return keyDown_[key]; }
    bool DownAcked(uint8_t key) const { return downAcked_[key]; }
    bool UpAcked(uint8_t key) const { return upAcked_[key]; }
    uint32_t KeyTime(uint8_t key) const { return keyTime_[key]; }
    // Movement records sent again by the retransmission timer since creation.
    uint64_t Retransmissions() const { return retransmissions_; }
    uint64_t DatagramsDropped() const { return dropped_; }

private:
    void KeyAck(std::string_view payload, bool down);
    void SendMove(uint32_t type, uint8_t code, uint16_t targetX, uint16_t targetY, uint32_t keyTime);
    void SendWalk(int mouseX, int mouseY, int targetX, int targetY);
    void Log(std::string_view line);

    TGameTimer& timer_;
    TSend sendDatagram_, sendTCP_;
    std::function<void(std::string_view)> log_;
    std::function<void()> onEnterGame_;
    std::function<void(uint8_t, bool, uint32_t)> onKeyAck_;
    std::string scratch_;  // the message being framed; keeps its capacity

    // Send state.
    uint32_t lastSendTime_ = 0;
    int32_t floodCounter_ = 0;
    // Beat state.
    uint8_t beatSequence_ = 0;
    bool entered_ = false;
    int64_t clockOffset_ = 0;
    int64_t ping_ = 0;
    int64_t correctedOffset_ = 0;
    // Movement state, indexed by virtual-key code.
    std::array<bool, 256> keyDown_{};
    std::array<bool, 256> downAcked_{};
    std::array<bool, 256> upAcked_{};
    std::array<uint32_t, 256> keyTime_{};
    uint8_t moveSeq_ = 0;
    bool retransmitEnabled_ = false;
    // Mouse walking.
    bool walking_ = false;
    uint32_t lastWalkTime_ = 0;
    int walkMouseX_ = 0, walkMouseY_ = 0;

    uint64_t retransmissions_ = 0;
    uint64_t dropped_ = 0;
};

}  // namespace net
