// Turn-taking between the game and the map viewer over the picture buffers.
#include "view/picture_buffers.h"

#include <atomic>

namespace {

std::atomic<BufferUser> holder{BufferUser::Nobody};

}  // namespace

bool ClaimPictureBuffers(BufferUser who)
{
    BufferUser expected = BufferUser::Nobody;
    return holder.compare_exchange_strong(expected, who, std::memory_order_acq_rel);
}

void ReleasePictureBuffers(BufferUser who)
{
    BufferUser expected = who;
    holder.compare_exchange_strong(expected, BufferUser::Nobody, std::memory_order_acq_rel);
}

BufferUser PictureBuffersHolder()
{
    return holder.load(std::memory_order_acquire);
}
