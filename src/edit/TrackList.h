#pragma once
// The edit window's list of a file's sound and subtitle tracks, a check box each: the tracks its
// output keeps, and a "Burn in" box for each subtitle track (at most one checked): that track is
// drawn into the picture instead.
#include <QTreeWidget>

#include <vector>

#include "convert/SourceTracks.h"

class TTrackList : public QTreeWidget {
  Q_OBJECT
public:
  explicit TTrackList(QWidget *parent = nullptr);

  // Lists the tracks, checked as the choices keep them.
  void Show(const std::vector<TSourceTrack> &tracks, const TTrackChoice &audio, const TTrackChoice &subtitles);
  // The choices the check boxes make: "all", "none", the checked track numbers or "burn:N".
  TTrackChoice AudioChoice() const { return ChoiceOf(TTrackKind::Audio); }
  TTrackChoice SubtitleChoice() const { return ChoiceOf(TTrackKind::Subtitle); }

private:
  void KeepOneBurned(QTreeWidgetItem *changed, int column);
  TTrackChoice ChoiceOf(TTrackKind kind) const;
};
