// Dragging files out of the program to the desktop or another program, and putting the same
// files on the clipboard for a paste in a file manager. The data object offers text/uri-list
// (plus the names a file manager reads for cut and copy); its data is made when the target
// first asks for it, after `OnDrop` had its chance to produce the files (the main window
// extracts the dragged entries then) or to call the drop off.
#pragma once
#include <QDrag>
#include <QMimeData>
#include <QObject>
#include <QPixmap>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

enum TDragType { dtCopy, dtMove, dtLink };
using TDragTypes = unsigned; // bits: 1 << TDragType
inline constexpr TDragTypes DragTypeBit(TDragType t) {
    return 1u << t;
}

enum TDropResult { drCopied, drMoved, drLinked, drCancelled, drOutOfMemory, drFailed };

class TDropSource;

// The data object of one drag or one clipboard put.
class TDropMimeData : public QMimeData {
    Q_OBJECT
public:
    explicit TDropMimeData(TDropSource* source) : FSource(source) {}
    QStringList formats() const override;
    bool hasFormat(const QString& mime) const override { return formats().contains(mime); }

protected:
    QVariant retrieveData(const QString& mime, QMetaType type) const override;

private:
    TDropSource* FSource;
};

class TDropSource : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxFormats = 20;
    explicit TDropSource(QObject* parent = nullptr);

    TDragTypes Dragtypes = DragTypeBit(dtCopy);
    // The target's proposed action changed (effect bits: copy 1, move 2, link 4).
    std::function<void(TDropSource*, int effect, bool& useDefaultCursors)> OnFeedback;
    // The target takes the data: last chance to make the files, or to call the drop off.
    std::function<void(TDropSource*, TDragType type, bool& continueDrop)> OnDrop;

    // The drag image: `Images` with `ImageIndex`, shown when `ShowImage`, at the hot spot.
    const std::vector<QPixmap>* Images() const { return FImages; }
    void SetImages(const std::vector<QPixmap>* images);
    int ImageIndex() const { return FImageIndex; }
    void SetImageIndex(int index);
    bool ShowImage() const { return FShowImage; }
    void SetShowImage(bool show);
    int ImageHotSpotX = 16, ImageHotSpotY = 16;

    // The formats offered, in order; a format beyond the twentieth is ignored.
    const QStringList& Formats() const { return FFormats; }
    void AddFormat(const QString& mime);

    // Runs one drag and tells how it ended.
    TDropResult Execute();
    // Puts the data on the clipboard as a cut or a copy; false when there was none.
    bool CutToClipboard() { return ToClipboard(true); }
    bool CopyToClipboard() { return ToClipboard(false); }
    // The effect of the last feedback or clipboard put (copy 1, move 2, link 4).
    int LastEffect() const { return FLastEffect; }

    // How a drag runs: the default executes the QDrag; tests set their own target.
    using TDragRunner = std::function<Qt::DropAction(QDrag* drag, Qt::DropActions allowed)>;
    static void SetDragRunner(TDragRunner runner);

    // The data of one format; nothing when there is none (no files, or the format is not
    // rendered here).
    virtual std::optional<QByteArray> Render(const QString& mime) const = 0;

protected:
    // Puts the data on the clipboard object; false when there is nothing to put.
    virtual bool PutOnClipboard(QMimeData* data, bool cut) const {
        (void)data;
        (void)cut;
        return false;
    }

private:
    friend class TDropMimeData;
    bool ToClipboard(bool cut);
    // Called by the data object when the target reads: raises OnDrop once per drag.
    bool AllowRender() const;

    QStringList FFormats;
    const std::vector<QPixmap>* FImages = nullptr;
    int FImageIndex = 0;
    bool FShowImage = false;
    int FLastEffect = 0;
    mutable bool FDropAsked = false, FDropAllowed = false;
    bool FInDrag = false;
};

class TDropFileSource : public TDropSource {
    Q_OBJECT
public:
    explicit TDropFileSource(QObject* parent = nullptr);
    QStringList Files;       // local paths
    QStringList MappedNames; // names a target may give the files, one per file

    std::optional<QByteArray> Render(const QString& mime) const override;

protected:
    bool PutOnClipboard(QMimeData* data, bool cut) const override;
};

// The mime types offered.
inline const char* kMimeUriList = "text/uri-list";
inline const char* kMimeGnomeCopied = "x-special/gnome-copied-files";
inline const char* kMimeKdeCut = "application/x-kde-cutselection";
inline const char* kMimeFileNameMap = "application/x-parvex-filenamemap";
