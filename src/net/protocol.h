// The one message format of both channels, and the table of live connections.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace net {

// A counted string of bytes that may hold zero bytes: payloads, buffers, texts.
using TByteString = std::string;

// Opaque references to the owner's TCP connection and UDP endpoint objects (a client
// and a server each cast their own socket objects to these). The table only stores
// and compares them.
using TConnection = void*;
using TUDPEndpoint = void*;

// Entries 1 to 63 hold connections; 64 is never handed out, so every lookup that
// finds nothing returns 64 and 64 means "no connection".
inline constexpr int32_t MAX_SOCKETS = 64;
inline constexpr int32_t NoSocket = MAX_SOCKETS;

struct TSocketID {
    TConnection Socket = nullptr;
    TUDPEndpoint UDP = nullptr;  // set by the connection's owner; survives RemoveSocket
    std::string Address;         // peer's dotted-decimal IPv4 address; empty = free entry
    uint16_t Port = 0;           // peer's TCP port
    uint16_t UDPPort = 0;        // peer's UDP port, learned from its client_udpport
};

// The socket table. Main thread only; takes no locks.
class TSocketTable {
public:
    // Takes the lowest free entry (1 to 63) and returns its index. With all 63 taken
    // it raises EAssertionFailed("CNT > MAX_SOCKETS in AddSocket") and stores nothing.
    // UDP and UDPPort are left as they are.
    int32_t AddSocket(TConnection socket, std::string_view peerAddress, uint16_t peerPort);
    // Frees the first entry holding the connection, keeping its UDP binding; a
    // connection that is not in the table changes nothing.
    void RemoveSocket(TConnection socket);
    // First taken entry whose Port and Address both match exactly, or 64.
    int32_t FindSocket(std::string_view address, uint16_t port) const;
    // First entry bound to the endpoint (freed entries included), or 64.
    int32_t FindSocketByUDP(TUDPEndpoint udp) const;

    // Entry 1 to 64; anything else raises std::out_of_range.
    TSocketID& Entry(int32_t index);
    const TSocketID& Entry(int32_t index) const;

    // Counts the entries taken and freed: an index found by address stays right as
    // long as this has not moved.
    uint64_t Changes() const { return changes_; }

private:
    std::array<TSocketID, MAX_SOCKETS> entries_{};  // entries_[i - 1] is entry i
    uint64_t changes_ = 0;
};

// The process-wide socket table.
TSocketTable& SocketTable();

// A TCP receive buffer: chunks are appended at the back, whole messages are consumed
// from the front by moving a read position. The unread rest is moved down only when
// the consumed space has grown at least as large as it, so splitting a stream costs
// O(total bytes) and, once the capacity has grown to the largest burst, nothing is
// allocated.
class TReceiveBuffer {
public:
    void Append(std::string_view bytes);
    void Append(const void* data, size_t count);
    // The bytes not yet consumed.
    std::string_view Unread() const { return std::string_view(bytes_).substr(read_); }
    size_t Size() const { return bytes_.size() - read_; }
    bool Empty() const { return Size() == 0; }
    // Drops `count` bytes (at most Size()) from the front.
    void Consume(size_t count);
    void Clear();

private:
    std::string bytes_;
    size_t read_ = 0;
};

// Called once per message, synchronously and in stream order. The payload views the
// buffer it came from and is valid only during the call.
using TMessageHandler = std::function<void(int32_t index, uint32_t type, std::string_view payload)>;

// Message layout (both channels): a 4-byte header word, little-endian, holding the
// payload length in bits 0-15 and the type in bits 16-31, then the payload. A type is
// handled as the header word with its length bits zero (the type code). On TCP
// messages follow one another in the stream and may be split across reads anyhow;
// a datagram carries one or more whole messages back to back.
class TVxProtocolFormat {
public:
    explicit TVxProtocolFormat(TSocketTable& sockets = SocketTable());

    void SetHandler(TMessageHandler handler);

    // Header word (payload length OR type code) followed by the payload. The length
    // field has 16 bits: a longer payload would spill into the type, so it raises
    // EAssertionFailed instead.
    static TByteString MakeMessage(uint32_t type, std::string_view payload);
    // MakeMessage appended to `out` (no allocation once `out` has grown).
    static void AppendMessage(TByteString& out, uint32_t type, std::string_view payload);

    // A copy of the first `count` bytes of a block, e.g. a packed record.
    static TByteString BytesToString(const void* block, size_t count);
    // Copies the first `count` bytes of `bytes` into `block`. Bytes beyond the end
    // of `bytes` are never read: the rest of the block is zero-filled.
    static void PeekBytes(std::string_view bytes, void* block, size_t count);
    // PeekBytes, then drops those bytes (at most all of them) from the front.
    static void ExtractBytes(std::string_view& bytes, void* block, size_t count);
    // ExtractBytes of 4 bytes, read little-endian.
    static int32_t ExtractInteger(std::string_view& bytes);
    // Low 16 bits of the header word at the front; 0 when fewer than 4 bytes are there.
    static uint16_t PayloadLength(std::string_view bytes);
    // Drops the header word from the front and returns it with the length bits cleared.
    static uint32_t ExtractType(std::string_view& bytes);
    // True when the bytes do not begin with a whole message.
    static bool IsIncomplete(std::string_view bytes);

    // Dispatches every whole message at the front of a connection's receive buffer;
    // an incomplete rest stays for the next read. Each message is consumed before its
    // handler runs, and its index is looked up afresh by the connection's peer address
    // and port. The handler must not append to this buffer.
    void ProcessStream(std::string_view peerAddress, uint16_t peerPort, TReceiveBuffer& buffer);
    // Dispatches the whole messages of one datagram, indexed by the endpoint's entry.
    // A datagram that does not begin with a whole message, and any bytes after the
    // last whole one, are dropped silently. A client_udpport records the datagram's
    // source port as the entry's UDPPort before its handler runs.
    void ProcessDatagram(TUDPEndpoint udp, uint16_t sourcePort, std::string_view datagram);

private:
    void Dispatch(int32_t index, uint32_t type, std::string_view payload);

    TSocketTable& sockets_;
    TMessageHandler handler_;
};

}  // namespace net
