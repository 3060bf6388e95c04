#include "player/PacketQueue.h"

#include "media/AVCodecStubs.h"

int TPacketQueue::Put(AVPacket *packet) {
  if (!IsFlushMarker(packet) && AVCodecLib.av_packet_make_refcounted(packet) < 0) {
    AVCodecLib.av_packet_free(&packet);
    return -1;
  }
  std::lock_guard guard(FLock);
  FPackets.push_back(packet);
  FSize += packet->size + NodeCharge;
  FCondition.notify_one();
  return 0;
}

int TPacketQueue::Get(AVPacket *&packet, bool block) {
  std::unique_lock guard(FLock);
  for (;;) {
    if (FAbort)
      return -1;
    if (!FPackets.empty()) {
      packet = FPackets.front();
      FPackets.pop_front();
      FSize -= packet->size + NodeCharge;
      return 1;
    }
    if (!block)
      return 0;
    FCondition.wait(guard);
  }
}

void TPacketQueue::Flush() {
  std::lock_guard guard(FLock);
  for (AVPacket *packet : FPackets)
    if (!IsFlushMarker(packet))
      AVCodecLib.av_packet_free(&packet);
  FPackets.clear();
  FSize = 0;
}

void TPacketQueue::Abort() {
  std::lock_guard guard(FLock);
  FAbort = true;
  FCondition.notify_all();
}

bool TPacketQueue::Aborted() const {
  std::lock_guard guard(FLock);
  return FAbort;
}

int TPacketQueue::Count() const {
  std::lock_guard guard(FLock);
  return static_cast<int>(FPackets.size());
}

int TPacketQueue::Size() const {
  std::lock_guard guard(FLock);
  return FSize;
}
