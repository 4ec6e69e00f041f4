// The client's side of the UDP game channel.
#include "net/game_channel.h"

#include <cstdlib>
#include <string>

#include "net/game_timer.h"
#include "net/message_types.h"
#include "net/protocol_constants.h"
#include "platform/world_geometry.h"
#include "platform/console.h"
#include "platform/tick_count.h"

namespace net {
namespace {

// The arrow keys in the order the retransmission timer visits them.
constexpr uint8_t RetransmitOrder[4] = {VK_UP, VK_DOWN, VK_LEFT, VK_RIGHT};

}  // namespace

uint8_t DirectionKey(uint8_t code)
{
    switch (code) {
    case DirUp: return VK_UP;
    case DirDown: return VK_DOWN;
    case DirLeft: return VK_LEFT;
    case DirRight: return VK_RIGHT;
    default: return 0;
    }
}

uint8_t DirectionCode(uint8_t key)
{
    switch (key) {
    case VK_UP: return DirUp;
    case VK_DOWN: return DirDown;
    case VK_LEFT: return DirLeft;
    case VK_RIGHT: return DirRight;
    default: return 0;
    }
}

int WrapTarget(int v)
{
    if (v < 0)
        return v + kWorldTiles;
    if (v >= kWorldTiles)
        return v - kWorldTiles;
    return v;
}

TGameChannel::TGameChannel(TGameTimer& timer) : timer_(timer)
{
    scratch_.reserve(64);
}

void TGameChannel::Log(std::string_view line)
{
    if (log_)
        log_(line);
}

void TGameChannel::LoginAccepted()
{
    downAcked_.fill(true);
    upAcked_.fill(true);
    retransmitEnabled_ = true;
}

bool TGameChannel::SendUDP(std::string_view message)
{
    const uint32_t now = platform::TickCount();
    if (now - lastSendTime_ < FloodInterval)
        ++floodCounter_;
    else
        floodCounter_ = 0;
    lastSendTime_ = now;
    if (floodCounter_ >= FloodLimit) {
        platform::ConsoleLine("floodCounter exceeded, packet dropped, fC=" + std::to_string(floodCounter_));
        floodCounter_ -= 2;
        ++dropped_;
        return false;
    }
    if (sendDatagram_)
        sendDatagram_(message);
    return true;
}

void TGameChannel::InUDPDataReceived(TVxProtocolFormat& format, const TSocketTable& sockets, TUDPEndpoint udp,
                                     std::string_view sourceAddress, uint16_t sourcePort,
                                     std::string_view datagram)
{
    const int32_t index = sockets.FindSocketByUDP(udp);
    if (index == NoSocket) {
        platform::ConsoleLine("Received UDP packet from unrecognized source.");
        return;
    }
    if (sockets.Entry(index).Address != sourceAddress) {
        platform::ConsoleLine("Received UDP from invalid address: " + std::string(sourceAddress));
        return;
    }
    format.ProcessDatagram(udp, sourcePort, datagram);
}

void TGameChannel::server_beat(std::string_view payload)
{
    if (!PayloadFits(msg::server_beat, payload))
        return;
    TBeat beat;
    Decode(payload, beat);
    if (entered_) {
        // A beat one behind the last, a repeat, or any later one is taken; two to
        // five behind is stale; six or more behind means the sequence wrapped.
        const int s = beat.Sequence;
        const int p = beatSequence_;
        if (!(s < p - 5 || s >= p - 1)) {
            platform::ConsoleLine("Received invalid BEAT sequence: Recvd: " + std::to_string(s) +
                                  " Previous: " + std::to_string(p));
            return;
        }
    }
    beatSequence_ = beat.Sequence;
    clockOffset_ = int64_t(beat.Time) - int64_t(platform::TickCount());
    // The client expects the beat echoed unchanged.
    scratch_.clear();
    TVxProtocolFormat::AppendMessage(scratch_, msg::client_beatack, payload);
    SendUDP(scratch_);
    if (!entered_)
        Log("Synchronizing...");
}

void TGameChannel::server_beatackack(std::string_view payload)
{
    if (!PayloadFits(msg::server_beatackack, payload))
        return;
    TBeatAckAck ack;
    Decode(payload, ack);
    if (ack.Sequence != beatSequence_) {
        platform::ConsoleLine("Received invalid BEATACKACK: Recvd: " + std::to_string(ack.Sequence) +
                              " Previous: " + std::to_string(beatSequence_));
        return;
    }
    ping_ = ack.Ping;
    timer_.AddPingSample(ack.Ping);
    correctedOffset_ = clockOffset_ - ping_ / 2;
    timer_.SetOffset(static_cast<int32_t>(static_cast<uint32_t>(clockOffset_)));
    if (entered_)
        return;
    Log("OK, Entering game.");
    if (sendTCP_)
        sendTCP_(TVxProtocolFormat::MakeMessage(msg::client_entergame, {}));
    if (onEnterGame_)
        onEnterGame_();
    entered_ = true;
}

void TGameChannel::KeyAck(std::string_view payload, bool down)
{
    if (!PayloadFits(down ? msg::server_keydown_ack : msg::server_keyup_ack, payload))
        return;
    TKeyAck ack;
    Decode(payload, ack);
    const uint8_t key = DirectionKey(ack.Code);
    if (key == 0 || keyTime_[key] != ack.KeyTime)
        return;  // another code, or an older press or release
    (down ? downAcked_ : upAcked_)[key] = true;
    if (onKeyAck_)
        onKeyAck_(ack.Code, down, ack.KeyTime);
}

void TGameChannel::SendMove(uint32_t type, uint8_t code, uint16_t targetX, uint16_t targetY, uint32_t keyTime)
{
    ++moveSeq_;
    scratch_.clear();
    AppendMessage(scratch_, type, TMoveRecord{moveSeq_, code, targetX, targetY, keyTime});
    SendUDP(scratch_);
}

void TGameChannel::KeyPressed(uint8_t key)
{
    if (keyDown_[key])
        return;  // auto-repeat of a held key
    keyDown_[key] = true;
    downAcked_[key] = false;
    keyTime_[key] = timer_.Now();
    if (const uint8_t code = DirectionCode(key)) {
        // The sequence number is taken by SendMove; other keys only keep the books.
        SendMove(msg::client_keydown, code, 0, 0, keyTime_[key]);
    } else {
        ++moveSeq_;
    }
}

void TGameChannel::KeyReleased(uint8_t key)
{
    if (!keyDown_[key])
        return;
    keyDown_[key] = false;
    keyTime_[key] = timer_.Now();
    upAcked_[key] = false;
    if (const uint8_t code = DirectionCode(key))
        SendMove(msg::client_keyup, code, 0, 0, keyTime_[key]);
    else
        ++moveSeq_;
}

void TGameChannel::SendWalk(int mouseX, int mouseY, int targetX, int targetY)
{
    lastWalkTime_ = platform::TickCount();
    walkMouseX_ = mouseX;
    walkMouseY_ = mouseY;
    SendMove(msg::client_keydown, DirWalk, uint16_t(WrapTarget(targetX)), uint16_t(WrapTarget(targetY)),
             timer_.Now());
}

void TGameChannel::SendWalkTo(int mouseX, int mouseY, int targetX, int targetY)
{
    walking_ = true;
    SendWalk(mouseX, mouseY, targetX, targetY);
}

void TGameChannel::ResendWalkTarget(int mouseX, int mouseY, int targetX, int targetY)
{
    if (!walking_)
        return;
    const int dx = std::abs(mouseX - walkMouseX_);
    const int dy = std::abs(mouseY - walkMouseY_);
    if (dx > 80 || dy > 60)
        SendWalk(mouseX, mouseY, targetX, targetY);
    else if ((dx != 0 || dy != 0) && platform::TickCount() - lastWalkTime_ > 1000)
        SendWalk(mouseX, mouseY, targetX, targetY);
}

void TGameChannel::SendWalkStop()
{
    walking_ = false;
    SendMove(msg::client_keyup, DirWalk, 0, 0, timer_.Now());
}

void TGameChannel::RetransmitTimerTimer()
{
    if (!retransmitEnabled_)
        return;
    for (const uint8_t key : RetransmitOrder) {
        const uint32_t now = timer_.Now();
        const int32_t ping = timer_.AveragePing();
        const bool old = now - 2 * static_cast<uint32_t>(ping) > keyTime_[key];
        if (!old)
            continue;
        const char* what = nullptr;
        uint32_t type = 0;
        if (!downAcked_[key] && keyDown_[key]) {
            what = "Retransmitting down: cgt:";
            type = msg::client_keydown;
        } else if (!upAcked_[key] && !keyDown_[key]) {
            what = "Retransmitting up: cgt:";
            type = msg::client_keyup;
        } else {
            continue;
        }
        platform::ConsoleLine(what + std::to_string(now) + " gtp:" + std::to_string(ping) +
                              " key_time:" + std::to_string(keyTime_[key]));
        ++retransmissions_;
        SendMove(type, DirectionCode(key), 0, 0, keyTime_[key]);
    }
}

}  // namespace net
