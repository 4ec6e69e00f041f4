// The payload codecs: each layout written and read field by field, little-endian.
#include "net/messages.h"


#include "platform/byte_order.h"

namespace net {

using namespace platform;

void Encode(const TNpcAdd& m, char* out)
{
    PutI32(out, m.ID);
    PutU16(out + 4, m.Shape);
    PutU8(out + 6, m.Facing);
    PutU8(out + 7, m.Lift);
    PutU16(out + 8, m.X);
    PutU16(out + 10, m.Y);
}

bool Decode(std::string_view p, TNpcAdd& m)
{
    if (p.size() < TNpcAdd::Size)
        return false;
    const char* in = p.data();
    m.ID = GetI32(in);
    m.Shape = GetU16(in + 4);
    m.Facing = GetU8(in + 6);
    m.Lift = GetU8(in + 7);
    m.X = GetU16(in + 8);
    m.Y = GetU16(in + 10);
    return true;
}

void Encode(const TNpcRemove& m, char* out)
{
    PutI32(out, m.ID);
    PutU32(out + 4, 0);
}

bool Decode(std::string_view p, TNpcRemove& m)
{
    if (p.size() < TNpcRemove::Size)
        return false;
    m.ID = GetI32(p.data());
    return true;
}

void Encode(const TNpcState& m, char* out)
{
    PutI32(out, m.ID);
    PutU16(out + 4, m.Shape);
    PutU16(out + 6, m.X);
    PutU16(out + 8, m.Y);
    PutU8(out + 10, m.Lift);
    PutU8(out + 11, m.Facing);
    PutU8(out + 12, m.Flags);
    PutU32(out + 13, 0);
    PutF64(out + 17, m.DirX);
    PutF64(out + 25, m.DirY);
    PutU16(out + 33, m.Spare1);
    PutU16(out + 35, m.Spare2);
    PutF32(out + 37, m.Speed);
    PutU32(out + 41, m.LastTime);
}

bool Decode(std::string_view p, TNpcState& m)
{
    if (p.size() < TNpcState::Size)
        return false;
    const char* in = p.data();
    m.ID = GetI32(in);
    m.Shape = GetU16(in + 4);
    m.X = GetU16(in + 6);
    m.Y = GetU16(in + 8);
    m.Lift = GetU8(in + 10);
    m.Facing = GetU8(in + 11);
    m.Flags = GetU8(in + 12);
    m.DirX = GetF64(in + 17);
    m.DirY = GetF64(in + 25);
    m.Spare1 = GetU16(in + 33);
    m.Spare2 = GetU16(in + 35);
    m.Speed = GetF32(in + 37);
    m.LastTime = GetU32(in + 41);
    return true;
}

void Encode(const TNpcSay& m, TByteString& out)
{
    out.resize(TNpcSay::Size);
    PutI32(out.data(), m.ID);
    PutU32(out.data() + 4, m.Duration);
    out.append(m.Text);
}

bool Decode(std::string_view p, TNpcSay& m)
{
    if (p.size() < TNpcSay::Size)
        return false;
    m.ID = GetI32(p.data());
    m.Duration = GetU32(p.data() + 4);
    m.Text = p.substr(TNpcSay::Size);
    return true;
}

void Encode(const TPlayerId& m, char* out) { PutI32(out, m.ID); }

bool Decode(std::string_view p, TPlayerId& m)
{
    if (p.size() < TPlayerId::Size)
        return false;
    m.ID = GetI32(p.data());
    return true;
}

void Encode(const TPlayerPos& m, char* out)
{
    PutU8(out, m.Facing);
    PutU8(out + 1, m.Lift);
    PutU16(out + 2, m.X);
    PutU16(out + 4, m.Y);
    PutU8(out + 6, 0);
}

bool Decode(std::string_view p, TPlayerPos& m)
{
    if (p.size() < TPlayerPos::Size)
        return false;
    const char* in = p.data();
    m.Facing = GetU8(in);
    m.Lift = GetU8(in + 1);
    m.X = GetU16(in + 2);
    m.Y = GetU16(in + 4);
    return true;
}

void Encode(const TUdpPort& m, char* out) { PutU16(out, m.Port); }

bool Decode(std::string_view p, TUdpPort& m)
{
    if (p.size() < TUdpPort::Size)
        return false;
    m.Port = GetU16(p.data());
    return true;
}

void Encode(const TShape& m, char* out) { PutU16(out, m.Shape); }

bool Decode(std::string_view p, TShape& m)
{
    if (p.size() < TShape::Size)
        return false;
    m.Shape = GetU16(p.data());
    return true;
}

namespace {

// The beat, its acknowledgement and the key acknowledgements share one layout:
// a byte, then a 32-bit word.
void PutByteAndWord(char* out, uint8_t byte, uint32_t word)
{
    PutU8(out, byte);
    PutU32(out + 1, word);
}

bool GetByteAndWord(std::string_view p, uint8_t& byte, uint32_t& word)
{
    if (p.size() < 5)
        return false;
    byte = GetU8(p.data());
    word = GetU32(p.data() + 1);
    return true;
}

}  // namespace

void Encode(const TBeat& m, char* out) { PutByteAndWord(out, m.Sequence, m.Time); }
bool Decode(std::string_view p, TBeat& m) { return GetByteAndWord(p, m.Sequence, m.Time); }
void Encode(const TBeatAckAck& m, char* out) { PutByteAndWord(out, m.Sequence, m.Ping); }
bool Decode(std::string_view p, TBeatAckAck& m) { return GetByteAndWord(p, m.Sequence, m.Ping); }
void Encode(const TKeyAck& m, char* out) { PutByteAndWord(out, m.Code, m.KeyTime); }
bool Decode(std::string_view p, TKeyAck& m) { return GetByteAndWord(p, m.Code, m.KeyTime); }

void Encode(const TMoveRecord& m, char* out)
{
    PutU8(out, m.Sequence);
    PutU8(out + 1, m.Code);
    PutU16(out + 2, m.TargetX);
    PutU16(out + 4, m.TargetY);
    PutU32(out + 6, 0);
    PutU32(out + 10, m.KeyTime);
}

bool Decode(std::string_view p, TMoveRecord& m)
{
    if (p.size() < TMoveRecord::Size)
        return false;
    const char* in = p.data();
    m.Sequence = GetU8(in);
    m.Code = GetU8(in + 1);
    m.TargetX = GetU16(in + 2);
    m.TargetY = GetU16(in + 4);
    m.KeyTime = GetU32(in + 10);
    return true;
}

}  // namespace net
