#pragma once

#include <QHash>
#include <QString>
#include <QWidget>
#include <span>

class QGroupBox;

namespace lcdprog::platform {

// The kinds of control the windows are drawn with.
enum class Kind {
    Frame,
    Label,
    Button,
    TextBox,   // shows a value; the operator reads it, never types into it
    ComboBox,  // drop-down list with an edit field
    PictureBox,
    Grid,  // a glyph editor: every cell is a pixel, no heading row or column
    Tabs,
    Page,  // one tab of its Tabs parent; the caption is the tab's text
    RichText,
    Progress,
};

// One control of a window as it was drawn. Rows are created in order, and the Tab key visits the
// controls that take the focus in the order they were created.
struct ControlRow {
    QString name;  // an array element's name is the array's, without its index
    Kind kind;
    QString parent;  // the container's name; empty for the window's client area
    // Twips inside the container; on a tab page, measured from the top of the whole tab
    // control, headers included. A page is placed by its tab control.
    int left, top, width, height;
    // The text the control shows. A control that shows none (tab control, trace, progress bar)
    // keeps here what a screen reader calls it.
    QString caption;
    QString tip = {};
    // The label or frame whose caption names this control for a screen reader.
    QString namedBy = {};
    int index = -1;  // element of a control array
};

// The controls a window was built from, by name (array elements as `name_index`).
class Controls {
  public:
    template <typename T = QWidget>
    T* Get(const QString& name) const {
        return qobject_cast<T*>(byName_.value(name));
    }
    void Add(QWidget* w) { byName_.insert(w->objectName(), w); }

  private:
    QHash<QString, QWidget*> byName_;
};

// Creates the rows' controls inside `client`, places them (15 twips to the pixel), names them
// for scripts and screen readers and gives them their tool tips.
Controls Build_Controls(QWidget* client, std::span<const ControlRow> rows);

// The layouts were drawn for a narrower system font: a frame whose caption would be cut off
// grows to the right, up to `rightLimitPx` in its container.
void Fit_Frame(QGroupBox* frame, int rightLimitPx);

}  // namespace lcdprog::platform
