#pragma once

#include <QDialog>
#include <QString>
#include <map>
#include <vector>

#include "picture/picture.h"
#include "picture_editor/editor_model.h"
#include "picture_editor/text_raster.h"
#include "platform/message_box.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLayout;
class QMenu;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QToolBar;
class QUndoStack;

namespace lcdprog {

class PictureCanvas;

// "Modifica immagine": one slot's picture touched up pixel by pixel, with shapes, fill, text and
// a selection, every step undone and redone here. It only edits: the caller gives it the picture
// as the module shows it and, when exec() returned Accepted, takes Result() and puts it in the
// slot as one step of its own history.
class frm_Modifica_Immagine final : public QDialog {
    Q_OBJECT
  public:
    // `caption` says whose picture it is: "Modifica dell'immagine 2 del 64240B".
    frm_Modifica_Immagine(picture::Bits picture, const QString& caption,
                          platform::MessageBox& messages, QWidget* parent = nullptr);

    // The picture as it is now, a pasted piece set down where it lies.
    const picture::Bits& Result() const { return model_.State().picture; }
    // True when it differs from the picture the editor opened with.
    bool Changed() const;

    void Set_Tool(DrawingTool tool);
    // The text tool's font (as TextFonts lists it), size, boldness and threshold, and its text.
    void Set_Text_Options(const QString& font, int pixelSize, bool bold, int threshold);
    void Set_Text(const QString& text);
    // Ctrl+V: the editor's own copy exactly as it was copied; any other picture on the clipboard
    // through the import's conversion, shrunk to fit the picture when it is larger. It floats at
    // the selection's corner (the cursor when nothing is selected) until it is set down.
    void Paste_From_Clipboard();
    void cmd_Nuova_Immagine_Click();

    PictureCanvas* Canvas() const { return canvas_; }
    QUndoStack* History() const { return history_; }

    // What the clipboard carries beside the picture, so that a copy comes back pixel for pixel.
    static const QString kClipboardFormat;

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  public slots:
    // "Annulla", Escape or the window's close button: with changes, asks whether to keep them.
    void reject() override;

  private:
    QMenuBar* Build_Menus();
    QToolBar* Build_Tools(QMenuBar* menus);
    QLayout* Build_Options();
    QAction* Add_Action(QMenu* menu, const QString& objectName, const QString& text,
                        const QKeySequence& key);
    void Copy_To_Clipboard();
    // A step from the model into the history, and the canvas brought up to date.
    void Record(std::optional<EditorStep> step);
    void Show_State();
    void Refresh_Text();
    void Press(picture::Point p, Qt::MouseButton button, Qt::KeyboardModifiers keys);
    void Release(picture::Point p, Qt::KeyboardModifiers keys);
    void Set_Zoom(int zoom);
    void Keep_Cursor_In_View();
    picture::Pen Pen_Of(Qt::MouseButton button) const;

    EditorModel model_;
    picture::Bits original_;
    platform::MessageBox& messages_;
    TextFonts fonts_;

    QUndoStack* history_ = nullptr;
    PictureCanvas* canvas_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QActionGroup* tools_ = nullptr;
    std::map<DrawingTool, QAction*> toolActions_;
    std::vector<QAction*> selectionActions_;  // of use only while something is selected
    QAction* smnu_Forma_Piena = nullptr;
    QComboBox* cmb_Colore = nullptr;
    QSpinBox* txt_Zoom = nullptr;
    QLineEdit* txt_Testo = nullptr;
    QComboBox* cmb_Carattere = nullptr;
    QSpinBox* txt_Dimensione = nullptr;
    QCheckBox* chk_Grassetto = nullptr;
    QSpinBox* txt_Soglia = nullptr;
    QLabel* lbl_Posizione = nullptr;
    QLabel* lbl_Stato = nullptr;
    QPushButton* cmd_Nuova_Immagine = nullptr;
    QPushButton* cmd_OK = nullptr;
    QPushButton* cmd_Annulla = nullptr;
};

}  // namespace lcdprog
