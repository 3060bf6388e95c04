#pragma once
// A bounded hand-over of compressed packets from the read thread to one decoder. Each packet is
// charged its payload plus 72 bytes (one list node), which the read thread's limits count.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>

struct AVPacket;

class TPacketQueue {
public:
  static constexpr int NodeCharge = 72;

  explicit TPacketQueue(const AVPacket *flushMarker) : FFlushMarker(flushMarker) {}
  ~TPacketQueue() { Flush(); }
  TPacketQueue(const TPacketQueue &) = delete;
  TPacketQueue &operator=(const TPacketQueue &) = delete;

  // Takes the packet over (its payload made owned); the flush marker is queued as it is, never
  // freed. -1 when the payload cannot be made owned (the packet is then freed).
  int Put(AVPacket *packet);
  // 1 with a packet (the caller frees it unless it is the flush marker), 0 when empty and not
  // blocking, -1 once aborted.
  int Get(AVPacket *&packet, bool block);
  void Flush();
  void Abort();
  bool Aborted() const;
  int Count() const;
  int Size() const;
  bool IsFlushMarker(const AVPacket *packet) const { return packet == FFlushMarker; }

private:
  const AVPacket *FFlushMarker;
  mutable std::mutex FLock;
  std::condition_variable FCondition;
  std::deque<AVPacket *> FPackets; // oldest first
  int FSize = 0;
  bool FAbort = false;
};
