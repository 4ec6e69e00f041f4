// Actors on the server: motion by the client's own rule, what each player sees,
// the server's characters, speech and the batched saving of positions.
#include <QTcpSocket>

#include "data/world_map.h"
#include "game_server.h"
#include "net/game_channel.h"
#include "net/message_types.h"
#include "net/messages.h"
#include "net/npc_list.h"
#include "platform/console.h"
#include "platform/tick_count.h"
#include "session.h"

namespace server {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

// The shorter way round the wrapping world.
int WrappedDelta(int from, int to)
{
    int d = to - from;
    if (d > kWorldTiles / 2)
        d -= kWorldTiles;
    if (d < -kWorldTiles / 2)
        d += kWorldTiles;
    return d;
}

uint8_t FacingOf(int dx, int dy, uint8_t current)
{
    if (dx > 0)
        return 1;
    if (dx < 0)
        return 4;
    if (dy < 0)
        return 2;
    if (dy > 0)
        return 8;
    return current;
}

net::TNpcState StateOf(const TActor& a)
{
    net::TNpcState m;
    m.ID = a.ID;
    m.Shape = a.Shape;
    m.X = a.Motion.X();
    m.Y = a.Motion.Y();
    m.Lift = uint8_t(a.Lift);
    m.Facing = a.Facing;
    m.Flags = a.Motion.Moving() ? net::FlagMoving : 0;
    m.DirX = double(a.Motion.DirX);
    m.DirY = double(a.Motion.DirY);
    m.Speed = a.Motion.Moving() ? a.Motion.Speed : 0.0f;
    m.LastTime = a.Motion.LastTime;
    return m;
}

}  // namespace

TActor& TGameServer::AddActor(int32_t id, uint16_t shape, int x, int y, TSession* player)
{
    auto actor = std::make_unique<TActor>();
    actor->ID = id;
    actor->Shape = shape;
    actor->Player = player;
    actor->Motion.PosX = x;
    actor->Motion.PosY = y;
    actor->Motion.LastTime = StepFloor(platform::TickCount());
    actor->ShapeSentAt = platform::TickCount() - ShapeInterval;
    TActor& ref = *actor;
    actors_[id] = std::move(actor);
    return ref;
}

void TGameServer::RemoveActor(int32_t id)
{
    auto it = actors_.find(id);
    if (it == actors_.end())
        return;
    const auto payload = net::Payload(net::TNpcRemove{id});
    for (auto& s : sessions_) {
        if (!s || !s->Known.erase(id))
            continue;
        SendTCP(*s, net::msg::server_npc_remove, payload.View());
    }
    if (TSession* player = it->second->Player)
        player->Actor = nullptr;
    actors_.erase(it);
}

void TGameServer::DesiredDirection(const TActor& a, int& dx, int& dy) const
{
    if (!a.Player) {
        dx = a.NpcDirX;
        dy = a.NpcDirY;
        return;
    }
    if (a.Walking) {
        dx = Sign(WrappedDelta(a.Motion.X(), a.TargetX));
        dy = Sign(WrappedDelta(a.Motion.Y(), a.TargetY));
        return;
    }
    dx = int(a.Held[net::DirRight]) - int(a.Held[net::DirLeft]);
    dy = int(a.Held[net::DirDown]) - int(a.Held[net::DirUp]);
}

void TGameServer::AdvanceActor(TActor& a, uint32_t now)
{
    TMotion& m = a.Motion;
    const uint32_t target = StepFloor(now);
    if (int32_t(target - m.LastTime) > int32_t(40 * StepMs))
        m.LastTime = target - 40 * StepMs;  // a stalled clock costs at most 10 s of steps
    while (int32_t(target - m.LastTime) >= int32_t(StepMs)) {
        int dx = 0, dy = 0;
        DesiredDirection(a, dx, dy);
        if (!m.Moving()) {
            if (dx == 0 && dy == 0) {
                m.LastTime = target;
                return;
            }
            // Held against a wall: walk on from this boundary once a step would move.
            TMotion probe = m;
            probe.DirX = dx;
            probe.DirY = dy;
            probe.Speed = WalkSpeed;
            const int refused = StepMotion(probe);
            if (refused != ((dx != 0) | (dy != 0) << 1)) {
                m.DirX = dx;
                m.DirY = dy;
                m.Speed = WalkSpeed;
                a.Facing = FacingOf(dx, dy, a.Facing);
                BroadcastState(a);
                continue;
            }
            m.LastTime += StepMs;
            continue;
        }
        const int refused = StepMotion(m);
        a.Dirty = true;
        const int movingAxes = (m.DirX != 0) | (m.DirY != 0) << 1;
        DesiredDirection(a, dx, dy);
        if (refused == movingAxes) {
            // A wall stopped it: the correction tells every client it stands.
            m.DirX = m.DirY = 0;
            m.Speed = 0;
            BroadcastState(a);
        } else if (dx != m.DirX || dy != m.DirY) {
            // A walk target turned it, or reached it.
            m.DirX = dx;
            m.DirY = dy;
            m.Speed = (dx || dy) ? WalkSpeed : 0.0f;
            a.Facing = FacingOf(dx, dy, a.Facing);
            BroadcastState(a);
        }
    }
}

void TGameServer::Steer(TActor& a, uint32_t now)
{
    AdvanceActor(a, now);
    int dx = 0, dy = 0;
    DesiredDirection(a, dx, dy);
    TMotion& m = a.Motion;
    if (dx == m.DirX && dy == m.DirY)
        return;
    m.DirX = dx;
    m.DirY = dy;
    m.Speed = (dx || dy) ? WalkSpeed : 0.0f;
    m.LastTime = StepFloor(now);
    a.Facing = FacingOf(dx, dy, a.Facing);
    BroadcastState(a);
}

void TGameServer::SendState(TSession& to, const TActor& actor)
{
    SendTCP(to, net::msg::server_npc_state, net::Payload(StateOf(actor)).View());
}

void TGameServer::SendAdd(TSession& to, const TActor& a)
{
    const net::TNpcAdd add{a.ID, a.Shape, a.Facing, uint8_t(a.Lift), a.Motion.X(), a.Motion.Y()};
    SendTCP(to, net::msg::server_npc_add, net::Payload(add).View());
}

void TGameServer::BroadcastState(const TActor& actor)
{
    const auto payload = net::Payload(StateOf(actor));
    for (auto& s : sessions_) {
        if (!s || s->Stage != EStage::InGame || s->Closing)
            continue;
        if (s.get() == actor.Player || s->Known.count(actor.ID))
            SendTCP(*s, net::msg::server_npc_state, payload.View());
    }
}

void TGameServer::ShapeChanged(TActor& actor, uint32_t now)
{
    // A 6-byte client_shape becomes a 49-byte state for every watcher: a client that
    // changes shape as fast as it can send must not multiply its traffic by the crowd
    // and fill the output of players who read.
    if (int32_t(now - actor.ShapeSentAt) < int32_t(ShapeInterval)) {
        actor.ShapeUnsent = true;
        return;
    }
    actor.ShapeUnsent = false;
    actor.ShapeSentAt = now;
    BroadcastState(actor);
}

void TGameServer::SendUnsentShapes(uint32_t now)
{
    for (auto& [id, actor] : actors_)
        if (actor->ShapeUnsent)
            ShapeChanged(*actor, now);
}

void TGameServer::UpdateViews()
{
    for (auto& s : sessions_) {
        if (!s || s->Stage != EStage::InGame || s->Closing || !s->Actor)
            continue;
        const int px = s->Actor->Motion.X(), py = s->Actor->Motion.Y();
        for (auto& [id, actor] : actors_) {
            if (actor.get() == s->Actor)
                continue;
            // Plain differences, as the client measures its view.
            const int dx = std::abs(int(actor->Motion.X()) - px);
            const int dy = std::abs(int(actor->Motion.Y()) - py);
            const bool known = s->Known.count(id) != 0;
            if (!known && dx <= AddRangeX && dy <= AddRangeY) {
                s->Known.insert(id);
                SendAdd(*s, *actor);
                SendState(*s, *actor);
            } else if (known && (dx > DropRangeX || dy > DropRangeY)) {
                s->Known.erase(id);
                SendTCP(*s, net::msg::server_npc_remove, net::Payload(net::TNpcRemove{id}).View());
            }
        }
    }
}

void TGameServer::SpawnNpcs()
{
    std::uniform_int_distribution<int> offset(-10, 10);
    std::uniform_int_distribution<size_t> pick(0, characterShapes_.empty() ? 0 : characterShapes_.size() - 1);
    for (int i = 0; i < options_.Npcs; ++i) {
        int x = TownX + offset(rng_), y = TownY + offset(rng_);
        NearestFreeTile(x, y);
        const uint16_t shape = characterShapes_.empty() ? 0 : characterShapes_[pick(rng_)];
        TActor& npc = AddActor(FirstNpcId + i, shape, x, y, nullptr);
        npc.Brain = std::make_unique<TNpcBrain>(TownX, TownY, uint32_t(rng_()));
        npc.NextDecision = platform::TickCount() + uint32_t(offset(rng_) + 10) * 200;
    }
}

void TGameServer::ThinkNpcs(uint32_t now)
{
    for (auto& [id, actor] : actors_) {
        if (!actor->Brain || int32_t(now - actor->NextDecision) < 0)
            continue;
        AdvanceActor(*actor, now);
        const int x = actor->Motion.X(), y = actor->Motion.Y();
        TNpcPlan plan = actor->Brain->Decide(x, y, actor->Motion.Moving());
        // Never straight into a wall: the nearest open turn, or standing.
        TurnFromWalls(x, y, plan.DirX, plan.DirY);
        actor->NpcDirX = plan.DirX;
        actor->NpcDirY = plan.DirY;
        actor->NextDecision = now + plan.Duration;
        Steer(*actor, now);
        if (!plan.Line.empty())
            Say(*actor, plan.Line);
    }
}

void TGameServer::Say(const TActor& speaker, std::string_view text)
{
    if (text.empty())
        return;
    std::string payload;
    net::Encode(net::TNpcSay{speaker.ID, SpeechDuration(text.size()), text}, payload);
    if (speaker.Player)
        SessionLog(*speaker.Player, LogText(speaker.Player->Name.toLatin1().toStdString()) + " says: " + LogText(text, 100));
    for (auto& s : sessions_) {
        if (!s || s->Stage != EStage::InGame || s->Closing)
            continue;
        if (s.get() == speaker.Player || s->Known.count(speaker.ID))
            SendTCP(*s, net::msg::server_npc_say, payload);
    }
}

void TGameServer::SaveDirty(bool all)
{
    std::vector<TSavedPlace> places;
    for (auto& [id, actor] : actors_) {
        // A player whose login mark went to another server is that server's to save.
        if (!actor->Player || !actor->Player->LoginMarked || (!actor->Dirty && !all))
            continue;
        places.push_back({actor->Player->AccountId, actor->Shape, actor->Motion.X(), actor->Motion.Y(),
                          actor->Lift, actor->Facing});
        actor->Dirty = false;
    }
    accounts_->SavePlaces(places, serverName_);
}

void TGameServer::Tick()
{
    if (shutDown_)
        return;
    const uint32_t now = platform::TickCount();
    ReapClosing();
    for (auto& s : sessions_) {
        if (!s)
            continue;
        if (s->LogSuppressed && now - s->LogWindowStart >= LogWindow)
            FlushSuppressed(*s, now);
        if (s->Closing)
            continue;
        if (s->Stage != EStage::InGame && now - s->ConnectedAt > HandshakeTimeout)
            CloseSession(*s, "handshake not finished within 30 seconds");
        else if (s->Stage >= EStage::LoggedIn && now - s->LastHeard > SilenceTimeout)
            CloseSession(*s, "silent for 60 seconds", true);
        else if (s->UdpKnown && int32_t(now - s->NextBeat) >= 0)
            SendBeat(*s, now);
    }
    if (!passwords_.Empty())
        StartPasswordChecks();  // an address's delay may have passed
    AnswerWaitingNames(now);
    if (now - lastAddressSweep_ >= AddressSweep) {
        lastAddressSweep_ = now;
        addressBook_.Sweep(now);
    }
    ThinkNpcs(now);
    for (auto& [id, actor] : actors_)
        AdvanceActor(*actor, now);
    SendUnsentShapes(now);
    UpdateViews();
    if (now - lastRenewal_ >= uint32_t(options_.LoginLease) * 1000 / 3) {
        lastRenewal_ = now;
        RenewLogins();
    }
    if (now - lastSave_ >= options_.SaveInterval) {
        lastSave_ = now;
        try {
            SaveDirty(false);
        } catch (const std::exception& e) {
            platform::ConsoleLine(std::string("Saving positions failed: ") + e.what());
        }
    }
}

}  // namespace server
