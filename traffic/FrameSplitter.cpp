#include "traffic/FrameSplitter.h"

bool FrameSplitter::Receive(TimePoint time)
{
    const bool begins = !lastReceive_ || afterSent_ || time - *lastReceive_ >= gap_;
    lastReceive_ = time;
    afterSent_ = false;
    return begins;
}
