#include "platform/qt/qt_file_dialog.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLocale>

namespace lcdprog::platform {

namespace {

// The dialog's columns in the program's Italian whatever the desktop's language: Qt writes a
// file's size and date in the desktop's locale ("5.01 KiB", "6 Dec 2026 ...") and a folder's
// type in English, a text its Italian translation lacks.
class ItalianFileColumns final : public QIdentityProxyModel {
  public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || files == nullptr) {
            return QIdentityProxyModel::data(index, role);
        }
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
            case 1:
                return files->isDir(source) ? QString()
                                            : italian.formattedDataSize(files->size(source));
            case 2:
                if (files->isDir(source)) {
                    return QStringLiteral("Cartella");
                }
                break;
            case 3:
                return italian.toString(files->lastModified(source), QLocale::ShortFormat);
            default:
                break;
        }
        return QIdentityProxyModel::data(index, role);
    }
};

}  // namespace

QStringList QtFileDialog::Name_Filters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QString pattern = parts[i + 1].trimmed();
        if (pattern.isEmpty()) {
            continue;
        }
        if (pattern == QStringLiteral("*.*")) {
            pattern = QStringLiteral("*");
        }
        const QString shown = QStringLiteral("(") + parts[i + 1].trimmed() + QStringLiteral(")");
        if (description.endsWith(shown) && pattern != QStringLiteral("*")) {
            filters << description;
        } else {
            filters << (description.isEmpty() ? QString() : description + QLatin1Char(' ')) +
                           QStringLiteral("(") + pattern + QStringLiteral(")");
        }
    }
    return filters;
}

std::optional<std::string> QtFileDialog::Show(const FileDialogRequest& request) {
    QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
    QFileDialog dialog(parent);
    // Qt's own dialog looks and behaves the same on every desktop, and a screen reader and the
    // tests meet the same widgets everywhere.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setProxyModel(new ItalianFileColumns(&dialog));
    dialog.setAcceptMode(request.saveForm ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.saveForm ? QFileDialog::AnyFile
                       : request.folder ? QFileDialog::Directory
                                        : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ShowDirsOnly, request.folder);
    // Flag 1 ticks the read-only box of the classic dialog, which only tells the caller the file
    // is to be opened read-only. Qt's nearest option makes the dialog's own view read-only
    // (no renaming or deleting from inside it), which suits a dialog that only picks a file.
    dialog.setOption(QFileDialog::ReadOnly, (request.flags & 1) != 0);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    // "Apri" alone does not say which slot is being chosen or what is being saved.
    const QString purpose = QString::fromStdString(request.purpose);
    if (!purpose.isEmpty()) {
        dialog.setAccessibleName(purpose);
        if (!request.keepTitle) {
            dialog.setWindowTitle(purpose);
        }
    }

    const QStringList filters = Name_Filters(request.filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const qsizetype index = request.filterIndex - 1;  // counted from 1
        if (index >= 0 && index < filters.size()) {
            dialog.selectNameFilter(filters[index]);
        }
    }

    if (request.saveForm && !request.fileName.empty()) {
        dialog.selectFile(QFile::decodeName(QByteArray::fromStdString(request.fileName)));
    }

    // A cancel is always reported as no path: with cancelError set that is the failure the
    // caller expects, and without it there would be no name to read back either.
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    // Back to the file system's own bytes, so a name is passed on exactly as it is stored.
    return QFile::encodeName(QFileInfo(chosen.front()).absoluteFilePath()).toStdString();
}

}  // namespace lcdprog::platform
