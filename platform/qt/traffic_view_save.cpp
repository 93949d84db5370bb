// "Save As...": Qt's save dialog for the name, the received bytes written on a thread of their own, and
// a message box for a save that failed.
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

#include "platform/qt/traffic_view.h"
#include "platform/saved_file.h"

void TrafficView::saveAs()
{
    if (save_) {
        QMessageBox::information(this, tr("Save As"), tr("The last save is still being written."));
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, tr("Save As"));
    if (path.isEmpty())
        return;
    SaveError error = SaveError::None;
    std::unique_ptr<SavedFile> file = CreateSavedFile(QFile::encodeName(path).toStdString(), &error);
    if (!file) {
        QMessageBox::warning(
            this, tr("Save As"), QString::fromStdString(saveFailureMessage(error, path.toStdString())));
        return;
    }
    savePath_ = path;
    save_ = std::make_unique<ReceivedSave>(model_.heldStore().receivedSnapshot(), std::move(file),
        [this] { QMetaObject::invokeMethod(this, &TrafficView::finishSave, Qt::QueuedConnection); });
}

void TrafficView::finishSave()
{
    if (!save_ || !save_->finished())
        return;
    const SaveError error = save_->result();
    save_.reset();
    if (error != SaveError::None)
        QMessageBox::warning(
            this, tr("Save As"), QString::fromStdString(saveFailureMessage(error, savePath_.toStdString())));
}
