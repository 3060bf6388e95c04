#pragma once
// How a transcode learns that its task should stop or pause.
class TStopToken {
public:
  // Read before every packet: waits while the task is paused; whether a stop was asked.
  virtual bool CheckStop() = 0;
  virtual bool StopRequested() const = 0;

protected:
  ~TStopToken() = default;
};
