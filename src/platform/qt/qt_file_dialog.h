#pragma once

#include <QStringList>

#include "platform/file_dialog.h"

class QWidget;

namespace lcdprog::platform {

// `Comm_Open_Save` as Qt's own file dialog (never the desktop's native one), modal.
class QtFileDialog final : public FileDialog {
  public:
    explicit QtFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
    std::optional<std::string> Show(const FileDialogRequest& request) override;

    // "description|pattern|description|pattern" as Qt name filters "description (patterns)".
    // Blanks around descriptions and patterns are dropped; a description that already ends
    // with its pattern in parentheses is kept as it is; "*.*", every file on the system the
    // filter was written for, becomes "*". A trailing description without a pattern is ignored.
    static QStringList Name_Filters(const std::string& filter);

  private:
    QWidget* parent_;
};

}  // namespace lcdprog::platform
