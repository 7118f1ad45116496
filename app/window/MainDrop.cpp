// Files dropped on the main window and rows dragged out of its list.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTreeView>
#include <QUrl>

#include "app/dialogs/DialogSeams.h"
#include "app/window/MainUnit.h"
#include "platform/ui_hooks.h"
#include "controls/DropSource.h"

namespace {

// The local files a drop carries, in order.
std::vector<std::string> localFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            files.push_back(url.toLocalFile().toStdString());
    return files;
}

} // namespace

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
    // Our own drag never comes back in as a drop of its announced files.
    if (!FDragging && !localFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void TMainForm::dragMoveEvent(QDragMoveEvent* event) {
    if (!FDragging && !localFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
    const std::vector<std::string> files = localFiles(event->mimeData());
    if (FDragging || files.empty() || !AllEnabled) return;
    event->acceptProposedAction();
    DropFiles(files);
}

bool TMainForm::eventFilter(QObject* watched, QEvent* event) {
    if (FZipList && watched == FZipList->viewport()) {
        if (event->type() == QEvent::MouseButtonPress) {
            const auto* me = static_cast<QMouseEvent*>(event);
            FMouseDownX = me->position().toPoint().x();
            FMouseDownY = me->position().toPoint().y();
        } else if (event->type() == QEvent::MouseMove && !FDragging) {
            const auto* me = static_cast<QMouseEvent*>(event);
            const QPoint p = me->position().toPoint();
            if ((me->buttons() & (Qt::LeftButton | Qt::RightButton)) &&
                (std::abs(p.x() - FMouseDownX) > 1 || std::abs(p.y() - FMouseDownY) > 1) &&
                SelectedCount() > 0 && AllEnabled) {
                StartDragOut();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainForm::StartDragOut() {
    const std::vector<std::string> files = BeginDragOut();
    if (files.empty()) return;
    dsMainDrag->Files.clear();
    for (const std::string& f : files) dsMainDrag->Files << QString::fromStdString(f);
    dsMainDrag->Dragtypes = DragTypeBit(dtCopy);
    dsMainDrag->OnDrop = [this](TDropSource*, TDragType, bool& continueDrop) {
        continueDrop = dsMainDragDrop();
    };
    FDragging = true;
    dsMainDrag->Execute();
    FDragging = false;
}

bool TMainForm::AddDroppedFiles() {
    if (!DialogSeams().FileDrop) return TMainCore::AddDroppedFiles();
    std::vector<std::string> files;
    files.swap(FShellFiles);
    if (files.empty()) {
        platform::messageBox("Error", "No files selected", platform::MsgType::Error, platform::mbOK);
        return false;
    }
    FCancelled = false;
    ShowFileDrop(files);
    FShellFiles.clear();
    return !FCancelled;
}
