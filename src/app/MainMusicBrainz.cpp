// The main window: what a MusicBrainz lookup leaves behind for later rips of the disc.
#include "Main.h"
#include "MainSupport.h"

#include "RipTagging.h"

namespace bw {

using namespace mainwindow;

// Kept with the disc in "cd.dat" as `brindlewave-cli musicbrainz --save` keeps them: first
// the fields and titles just shown, then the ids, which belong to that album title.
void TfrmMain::RememberMusicBrainzIds(const TMusicBrainzIds& ids) {
    if (FListedDiscKey.empty()) return;
    try {
        TakeTitlesFromList();
        LoadSaveDiscInfo(FListedDiscKey, false, DiscFields());
        SaveMusicBrainzIds(FListedDiscKey, ids);
    } catch (const std::exception& e) {
        SetStatusText(QStringLiteral("The MusicBrainz release could not be remembered: ") +
                      QString::fromStdString(e.what()));
    }
}

} // namespace bw
