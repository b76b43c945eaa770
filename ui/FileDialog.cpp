#include "ui/FileDialog.h"

#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>
#include <utility>

namespace {

// The file list shows sizes and dates in the program's locale: the list itself would use the
// system's, which is English on many machines while the rest of the program is Chinese.
class FileListInProgramLocale : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr) {
            return QIdentityProxyModel::data(index, role);
        }
        const QModelIndex file = mapToSource(index);
        if (index.column() == kSizeColumn && !files->isDir(file)) {
            return QLocale().formattedDataSize(files->size(file));
        }
        if (index.column() == kDateColumn) {
            return QLocale().toString(files->lastModified(file), QLocale::ShortFormat);
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    static constexpr int kSizeColumn = 1;
    static constexpr int kDateColumn = 3;
};

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
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new FileListInProgramLocale(&dialog));
    dialog.setNameFilter(request.filter);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setAcceptMode(request.kind == FileDialogKind::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Neither dialog requires the file to exist: opening a missing scheme simply reads nothing.
    dialog.setFileMode(QFileDialog::AnyFile);
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
