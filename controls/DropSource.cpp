#include "controls/DropSource.h"

#include <QApplication>
#include <QClipboard>
#include <QUrl>

namespace {

TDropSource::TDragRunner& runner() {
    static TDropSource::TDragRunner r;
    return r;
}

int effectOf(Qt::DropAction a) {
    switch (a) {
    case Qt::CopyAction:
        return 1;
    case Qt::MoveAction:
        return 2;
    case Qt::LinkAction:
        return 4;
    default:
        return 0;
    }
}

} // namespace

QStringList TDropMimeData::formats() const {
    return FSource->Formats();
}

QVariant TDropMimeData::retrieveData(const QString& mime, QMetaType) const {
    if (!FSource->Formats().contains(mime) || !FSource->AllowRender()) return {};
    auto data = FSource->Render(mime);
    return data ? QVariant(*data) : QVariant();
}

TDropSource::TDropSource(QObject* parent) : QObject(parent) {}

void TDropSource::SetDragRunner(TDragRunner r) {
    runner() = std::move(r);
}

void TDropSource::SetImages(const std::vector<QPixmap>* images) {
    FImages = images;
    FImageIndex = 0;
    FShowImage = images != nullptr;
}

void TDropSource::SetImageIndex(int index) {
    if (index < 0 || !FImages || FImages->empty()) {
        FImageIndex = 0;
        FShowImage = false;
        return;
    }
    if (index >= static_cast<int>(FImages->size())) return;
    FImageIndex = index;
}

void TDropSource::SetShowImage(bool show) {
    FShowImage = show && FImages != nullptr;
}

void TDropSource::AddFormat(const QString& mime) {
    if (FFormats.size() < kMaxFormats && !FFormats.contains(mime)) FFormats.push_back(mime);
}

bool TDropSource::AllowRender() const {
    if (!FInDrag) return true; // clipboard data renders at once
    if (!FDropAsked) {
        FDropAsked = true;
        // The drag type follows the action the target chose last; one we do not allow calls
        // the drop off without asking.
        TDragType type = FLastEffect & 1 ? dtCopy : FLastEffect & 2 ? dtMove : dtLink;
        FDropAllowed = (FLastEffect & 7) != 0 && (Dragtypes & DragTypeBit(type)) != 0;
        if (FDropAllowed && OnDrop) {
            bool cont = true;
            const_cast<TDropSource*>(this)->OnDrop(const_cast<TDropSource*>(this), type, cont);
            FDropAllowed = cont;
        }
    }
    return FDropAllowed;
}

TDropResult TDropSource::Execute() {
    Qt::DropActions allowed;
    if (Dragtypes & DragTypeBit(dtCopy)) allowed |= Qt::CopyAction;
    if (Dragtypes & DragTypeBit(dtMove)) allowed |= Qt::MoveAction;
    if (Dragtypes & DragTypeBit(dtLink)) allowed |= Qt::LinkAction;
    if (!allowed) return drFailed;

    auto* drag = new QDrag(this);
    drag->setMimeData(new TDropMimeData(this));
    if (FShowImage && FImages && FImageIndex < static_cast<int>(FImages->size())) {
        drag->setPixmap((*FImages)[static_cast<size_t>(FImageIndex)]);
        drag->setHotSpot(QPoint(ImageHotSpotX, ImageHotSpotY));
    }
    // The first proposed action is the preferred one until the target says otherwise.
    FLastEffect = allowed & Qt::CopyAction ? 1 : allowed & Qt::MoveAction ? 2 : 4;
    connect(drag, &QDrag::actionChanged, this, [this](Qt::DropAction a) {
        FLastEffect = effectOf(a);
        bool useDefault = true;
        if (OnFeedback) OnFeedback(this, FLastEffect, useDefault);
    });
    FInDrag = true;
    FDropAsked = FDropAllowed = false;
    const Qt::DropAction done = runner() ? runner()(drag, allowed) : drag->exec(allowed, Qt::CopyAction);
    FInDrag = false;
    drag->deleteLater();
    // A drop the target finished without reading our data never asked OnDrop: not a drop.
    if (done == Qt::IgnoreAction || !(allowed & done) || (FDropAsked && !FDropAllowed)) return drCancelled;
    if (done == Qt::CopyAction) return drCopied;
    if (done == Qt::MoveAction) return drMoved;
    if (done == Qt::LinkAction) return drLinked;
    return drFailed;
}

bool TDropSource::ToClipboard(bool cut) {
    auto* plain = new QMimeData;
    bool put = PutOnClipboard(plain, cut);
    if (!put) {
        delete plain;
        return false;
    }
    FLastEffect = cut ? 2 : 1;
    QApplication::clipboard()->setMimeData(plain);
    return true;
}

TDropFileSource::TDropFileSource(QObject* parent) : TDropSource(parent) {
    AddFormat(kMimeUriList);
    AddFormat(kMimeFileNameMap);
}

std::optional<QByteArray> TDropFileSource::Render(const QString& mime) const {
    if (Files.isEmpty()) return std::nullopt;
    if (mime == kMimeUriList) {
        QByteArray out;
        for (const auto& f : Files) out += QUrl::fromLocalFile(f).toEncoded() + "\r\n";
        return out;
    }
    if (mime == kMimeFileNameMap) {
        if (MappedNames.size() != Files.size()) return std::nullopt;
        QByteArray out;
        for (const auto& n : MappedNames) out += n.toUtf8() + '\n';
        return out;
    }
    return std::nullopt;
}

bool TDropFileSource::PutOnClipboard(QMimeData* data, bool cut) const {
    auto uris = Render(kMimeUriList);
    if (!uris) return false;
    data->setData(kMimeUriList, *uris);
    QByteArray gnome = cut ? "cut" : "copy";
    for (const auto& f : Files) gnome += "\n" + QUrl::fromLocalFile(f).toEncoded();
    data->setData(kMimeGnomeCopied, gnome);
    data->setData(kMimeKdeCut, cut ? "1" : "0");
    return true;
}
