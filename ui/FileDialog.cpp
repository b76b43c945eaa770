#include "ui/FileDialog.h"

#include <QFileDialog>
#include <utility>

namespace {

FileDialogHandler& Handler()
{
    static FileDialogHandler handler;
    return handler;
}

}  // namespace

QString AskFilePath(QWidget* owner, const FileDialogRequest& request)
{
    if (Handler()) {
        return Handler()(owner, request);
    }
    QFileDialog dialog(owner);
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setAcceptMode(request.kind == FileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Neither dialog requires the file to exist: opening a missing scheme simply reads nothing.
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (!request.initialPath.isEmpty()) {
        dialog.selectFile(request.initialPath);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

void SetFileDialogHandler(FileDialogHandler handler)
{
    Handler() = std::move(handler);
}
