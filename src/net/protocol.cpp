// Message framing and the socket table.
#include "net/protocol.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <stdexcept>

#include "platform/assertion_failed.h"
#include "platform/byte_order.h"
#include "net/message_types.h"

namespace net {
namespace {

constexpr size_t HeaderSize = 4;
constexpr uint32_t LengthMask = 0x0000FFFF;

uint32_t ReadWordLE(const char* p) { return platform::GetU32(p); }

}  // namespace

// --- socket table ---

int32_t TSocketTable::AddSocket(TConnection socket, std::string_view peerAddress, uint16_t peerPort)
{
    for (int32_t index = 1; index < MAX_SOCKETS; ++index) {
        TSocketID& entry = entries_[index - 1];
        if (!entry.Address.empty())
            continue;
        entry.Socket = socket;
        entry.Address.assign(peerAddress);
        entry.Port = peerPort;
        ++changes_;
        return index;
    }
    throw EAssertionFailed("CNT > MAX_SOCKETS in AddSocket");
}

void TSocketTable::RemoveSocket(TConnection socket)
{
    if (!socket)
        return;  // free entries hold no connection; there is nothing to remove
    for (TSocketID& entry : entries_) {
        if (entry.Socket != socket)
            continue;
        entry.Socket = nullptr;
        entry.Address.clear();
        entry.Port = 0;
        entry.UDPPort = 0;
        ++changes_;
        return;
    }
}

int32_t TSocketTable::FindSocket(std::string_view address, uint16_t port) const
{
    for (int32_t index = 1; index < MAX_SOCKETS; ++index) {
        const TSocketID& entry = entries_[index - 1];
        if (entry.Port == port && !entry.Address.empty() && entry.Address == address)
            return index;
    }
    return NoSocket;
}

int32_t TSocketTable::FindSocketByUDP(TUDPEndpoint udp) const
{
    for (int32_t index = 1; index < MAX_SOCKETS; ++index)
        if (entries_[index - 1].UDP == udp)
            return index;
    return NoSocket;
}

TSocketID& TSocketTable::Entry(int32_t index)
{
    if (index < 1 || index > MAX_SOCKETS)
        throw std::out_of_range("socket index " + std::to_string(index) + " outside 1 to 64");
    return entries_[index - 1];
}

const TSocketID& TSocketTable::Entry(int32_t index) const
{
    return const_cast<TSocketTable*>(this)->Entry(index);
}

TSocketTable& SocketTable()
{
    static TSocketTable table;
    return table;
}

// --- receive buffer ---

void TReceiveBuffer::Append(std::string_view bytes)
{
    if (read_ > 0 && read_ >= Size()) {
        // The consumed front is at least as long as what is left: move the rest down.
        // Each byte is moved at most once per time the consumed space doubles past it.
        const size_t rest = Size();
        std::memmove(bytes_.data(), bytes_.data() + read_, rest);
        bytes_.resize(rest);
        read_ = 0;
    }
    bytes_.append(bytes);
}

void TReceiveBuffer::Append(const void* data, size_t count)
{
    Append(std::string_view(static_cast<const char*>(data), count));
}

void TReceiveBuffer::Consume(size_t count)
{
    // Only the read position moves: a payload handed to a handler stays in place
    // until the next Append.
    read_ += std::min(count, Size());
}

void TReceiveBuffer::Clear()
{
    bytes_.clear();  // keeps the capacity
    read_ = 0;
}

// --- framing ---

TVxProtocolFormat::TVxProtocolFormat(TSocketTable& sockets) : sockets_(sockets) {}

void TVxProtocolFormat::SetHandler(TMessageHandler handler) { handler_ = std::move(handler); }

TByteString TVxProtocolFormat::MakeMessage(uint32_t type, std::string_view payload)
{
    TByteString message;
    message.reserve(HeaderSize + payload.size());
    AppendMessage(message, type, payload);
    return message;
}

void TVxProtocolFormat::AppendMessage(TByteString& out, uint32_t type, std::string_view payload)
{
    if (payload.size() > LengthMask)
        throw EAssertionFailed("MakeMessage: payload of " + std::to_string(payload.size()) +
                               " bytes does not fit the 16-bit length");
    const uint32_t word = uint32_t(payload.size()) | type;
    char header[HeaderSize];
    platform::PutU32(header, word);
    out.append(header, HeaderSize);
    out.append(payload);
}

TByteString TVxProtocolFormat::BytesToString(const void* block, size_t count)
{
    return TByteString(static_cast<const char*>(block), count);
}

void TVxProtocolFormat::PeekBytes(std::string_view bytes, void* block, size_t count)
{
    const size_t have = std::min(count, bytes.size());
    if (have > 0)  // an empty view may carry no pointer at all, which memcpy must not see
        std::memcpy(block, bytes.data(), have);
    std::memset(static_cast<char*>(block) + have, 0, count - have);
}

void TVxProtocolFormat::ExtractBytes(std::string_view& bytes, void* block, size_t count)
{
    PeekBytes(bytes, block, count);
    bytes.remove_prefix(std::min(count, bytes.size()));
}

int32_t TVxProtocolFormat::ExtractInteger(std::string_view& bytes)
{
    char raw[4];
    ExtractBytes(bytes, raw, sizeof raw);
    return static_cast<int32_t>(ReadWordLE(raw));
}

uint16_t TVxProtocolFormat::PayloadLength(std::string_view bytes)
{
    if (bytes.size() < HeaderSize)
        return 0;
    return static_cast<uint16_t>(ReadWordLE(bytes.data()) & LengthMask);
}

uint32_t TVxProtocolFormat::ExtractType(std::string_view& bytes)
{
    return static_cast<uint32_t>(ExtractInteger(bytes)) & ~LengthMask;
}

bool TVxProtocolFormat::IsIncomplete(std::string_view bytes)
{
    return bytes.size() < HeaderSize || PayloadLength(bytes) > bytes.size() - HeaderSize;
}

void TVxProtocolFormat::Dispatch(int32_t index, uint32_t type, std::string_view payload)
{
    if (handler_)
        handler_(index, type, payload);
}

void TVxProtocolFormat::ProcessStream(std::string_view peerAddress, uint16_t peerPort,
                                      TReceiveBuffer& buffer)
{
    // The connection's entry is looked up by address again only when the table has
    // changed meanwhile (a handler may end the connection, or another may start).
    int32_t index = NoSocket;
    uint64_t seen = ~uint64_t(0);
    for (;;) {
        const std::string_view front = buffer.Unread();
        if (front.size() < HeaderSize)
            return;
        const uint32_t word = ReadWordLE(front.data());
        const size_t length = word & LengthMask;
        if (length > front.size() - HeaderSize)
            return;
        const std::string_view payload = front.substr(HeaderSize, length);
        // Consumed before the handler runs: a handler that throws loses only its own
        // message. The bytes stay in place (only the read position moves), so the view
        // stays valid while the handler runs.
        buffer.Consume(HeaderSize + length);
        if (seen != sockets_.Changes()) {
            seen = sockets_.Changes();
            index = sockets_.FindSocket(peerAddress, peerPort);
        }
        Dispatch(index, word & ~LengthMask, payload);
    }
}

void TVxProtocolFormat::ProcessDatagram(TUDPEndpoint udp, uint16_t sourcePort, std::string_view datagram)
{
    while (!IsIncomplete(datagram)) {
        const size_t length = PayloadLength(datagram);
        const uint32_t type = ExtractType(datagram);
        const std::string_view payload = datagram.substr(0, length);
        datagram.remove_prefix(length);
        const int32_t index = sockets_.FindSocketByUDP(udp);
        if (type == msg::client_udpport && index != NoSocket)
            sockets_.Entry(index).UDPPort = sourcePort;
        Dispatch(index, type, payload);
    }
}

}  // namespace net
