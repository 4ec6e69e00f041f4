// The server check: the handshake's first steps, read and answered without a login.
#include "net/server_check.h"

#include <utility>

#include "net/message_types.h"
#include "net/protocol_constants.h"

namespace net {

TServerCheck::TServerCheck(std::string worldIdentity, std::function<void(std::string_view)> write,
                           std::function<void()> close)
    : identity_(std::move(worldIdentity)), write_(std::move(write)), close_(std::move(close))
{
}

void TServerCheck::Connected(uint32_t /*now*/)
{
    connected_ = true;
}

void TServerCheck::Read(std::string_view bytes, uint32_t now)
{
    if (Done())
        return;
    in_.Append(bytes);
    while (!Done()) {
        const std::string_view unread = in_.Unread();
        if (TVxProtocolFormat::IsIncomplete(unread))
            break;
        const size_t length = TVxProtocolFormat::PayloadLength(unread);
        std::string_view rest = unread;
        const uint32_t type = TVxProtocolFormat::ExtractType(rest);
        const std::string payload(rest.substr(0, length));
        in_.Consume(length + 4);
        Message(type, payload, now);
    }
    if (!Done() && in_.Size() > MaxUnframed)
        Finish(TServerCheckResult::EState::NoAnswer);
}

void TServerCheck::Message(uint32_t type, std::string_view payload, uint32_t now)
{
    auto cut = [](std::string_view text) { return std::string(text.substr(0, MaxText)); };
    switch (type) {
    case msg::server_welcome: result_.Welcome = cut(payload); return;
    case msg::server_protocolversion:
        result_.ProtocolVersion = cut(payload);
        if (payload != ProtocolVersion) {
            // Another protocol: the server answered, but nothing more can be asked.
            Finish(TServerCheckResult::EState::Answered);
            return;
        }
        result_.SameProtocol = true;
        out_.clear();
        TVxProtocolFormat::AppendMessage(out_, msg::client_version, ClientVersionText);
        TVxProtocolFormat::AppendMessage(out_, msg::client_protocolversion, ProtocolVersion);
        TVxProtocolFormat::AppendMessage(out_, msg::client_identity, identity_);
        write_(out_);
        identitySent_ = true;
        identitySentAt_ = now;
        return;
    case msg::server_identity:
        if (!identitySent_)
            return;  // not asked for: not an answer
        result_.Identity = cut(payload);
        result_.SameWorld = payload == identity_;
        result_.RoundTrip = int32_t(now - identitySentAt_);
        Finish(TServerCheckResult::EState::Answered);
        return;
    case msg::server_full:
        result_.Fault = cut(payload);
        Finish(TServerCheckResult::EState::Full);
        return;
    default: return;  // notices, versions and anything else say nothing about the check
    }
}

void TServerCheck::Finish(TServerCheckResult::EState state)
{
    result_.State = state;
    close_();
}

void TServerCheck::Failed(std::string_view fault)
{
    if (Done())
        return;
    result_.Fault = std::string(fault.substr(0, MaxText));
    result_.State = connected_ ? TServerCheckResult::EState::NoAnswer : TServerCheckResult::EState::Unreachable;
    close_();
}

void TServerCheck::Closed()
{
    if (Done())
        return;
    result_.Fault = "closed by the server";
    Finish(TServerCheckResult::EState::NoAnswer);
}

bool TServerCheck::TimedOut(uint32_t now)
{
    if (Done() || now - startedAt_ < Timeout)
        return false;
    result_.Fault = connected_ ? "no answer" : "no connection";
    Finish(connected_ ? TServerCheckResult::EState::NoAnswer : TServerCheckResult::EState::Unreachable);
    return true;
}

}  // namespace net
