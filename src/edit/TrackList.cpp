#include "edit/TrackList.h"

#include <QHeaderView>

#include <algorithm>

namespace {

constexpr int KindRole = Qt::UserRole, NumberRole = Qt::UserRole + 1;
constexpr int BurnColumn = 5;

QString TrackName(const TSourceTrack &track, int number) {
  return QString("%1 %2").arg(track.Kind == TTrackKind::Audio ? "Audio" : "Subtitle").arg(number);
}

} // namespace

TTrackList::TTrackList(QWidget *parent) : QTreeWidget(parent) {
  setHeaderLabels({"Track", "Language", "Title", "Codec", "Channels", "Burn in"});
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  connect(this, &QTreeWidget::itemChanged, this, &TTrackList::KeepOneBurned);
}

void TTrackList::KeepOneBurned(QTreeWidgetItem *changed, int column) {
  if (column != BurnColumn || changed->checkState(BurnColumn) != Qt::Checked)
    return;
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (QTreeWidgetItem *item = topLevelItem(i); item != changed && item->data(BurnColumn, Qt::CheckStateRole).isValid())
      item->setCheckState(BurnColumn, Qt::Unchecked);
}

void TTrackList::Show(const std::vector<TSourceTrack> &tracks, const TTrackChoice &audio,
                      const TTrackChoice &subtitles) {
  clear();
  const int burned = BurnTrack(subtitles);
  int numbers[2] = {0, 0};
  for (TTrackKind kind : {TTrackKind::Audio, TTrackKind::Subtitle}) {
    const std::vector<TSourceTrack> kept =
        ChosenTracks(tracks, kind, FollowedChoice(tracks, kind, kind == TTrackKind::Audio ? audio : subtitles));
    for (const TSourceTrack &track : tracks) {
      if (track.Kind != kind)
        continue;
      const int number = ++numbers[static_cast<int>(kind)];
      const bool checked = std::any_of(kept.begin(), kept.end(), [&](const TSourceTrack &k) { return k.Stream == track.Stream; });
      auto *item = new QTreeWidgetItem(
          this, {TrackName(track, number), QString::fromStdString(track.Language), QString::fromStdString(track.Title),
                 QString::fromStdString(track.Codec), track.Channels > 0 ? QString::number(track.Channels) : QString()});
      item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
      item->setData(0, KindRole, static_cast<int>(kind));
      item->setData(0, NumberRole, number);
      if (kind == TTrackKind::Subtitle)
        item->setCheckState(BurnColumn, number == burned ? Qt::Checked : Qt::Unchecked);
    }
  }
}

TTrackChoice TTrackList::ChoiceOf(TTrackKind kind) const {
  std::string list;
  int count = 0, checked = 0;
  for (int i = 0; i < topLevelItemCount(); ++i) {
    const QTreeWidgetItem *item = topLevelItem(i);
    if (item->data(0, KindRole).toInt() != static_cast<int>(kind))
      continue;
    ++count;
    if (item->data(BurnColumn, Qt::CheckStateRole).isValid() && item->checkState(BurnColumn) == Qt::Checked)
      return "burn:" + std::to_string(item->data(0, NumberRole).toInt());
    if (item->checkState(0) != Qt::Checked)
      continue;
    ++checked;
    list += (list.empty() ? "" : ",") + std::to_string(item->data(0, NumberRole).toInt());
  }
  return checked == count ? "all" : checked == 0 ? "none" : list;
}
