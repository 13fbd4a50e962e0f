#pragma once

#include <QImage>
#include <QMainWindow>
#include <QPixmap>
#include <QString>
#include <array>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "main_window/picture_import.h"
#include "picture/picture.h"
#include "platform/project_lock.h"
#include "platform/serial_window_access.h"
#include "platform/services.h"
#include "platform/staged_files.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "state/glyph_tools.h"
#include "state/mod_variabili.h"

class QAction;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QGroupBox;
class QLabel;
class QMenu;
class QMimeData;
class QTableWidget;
class QTabWidget;
class QUndoStack;

namespace lcdprog {
namespace platform {
class Announcer;
}

namespace platform {
class CrispPicture;
}
class frm_Anteprima;
class frm_Modifica_Immagine;
// Shows the picture editor; true when the operator pressed "OK". Tests replace it.
using RunPictureEditor = std::function<bool(frm_Modifica_Immagine&)>;
class GlyphGrid;
class PictureWatch;
enum class GlyphCommand;

// The main window: the background pictures of the four panel types, the two glyph editors and
// the menus. Picture files, messages, the dialog and ending the program go through Services.
//
// Creating the window builds its controls only. The caller then runs Form_Load() (the window's
// start-up) and shows the window only when it returned true: a missing or unusable white
// background file ends the program from inside Form_Load().
class frm_Config_LCD final : public QMainWindow, public platform::ProjectLock {
    Q_OBJECT
  public:
    // `serialWindow` (may be null) is what "&Attiva/Disattiva seriale" shows and whose run this
    // window waits for before it closes: main() hands over the serial port window's holder,
    // which this window knows only by that interface.
    frm_Config_LCD(platform::Services& services, ProgramState& state,
                   platform::SerialWindowAccess* serialWindow, QWidget* parent = nullptr);
    ~frm_Config_LCD() override;

    // Start-up: clears the sixteen slots, checks the three white backgrounds in the program
    // folder in order and shows them in every picture box and slot, and sizes the grid cells.
    // Returns false when a file was missing or unusable: the message was shown and
    // ProgramControl::EndNow() called, and nothing after that file was looked at.
    bool Form_Load();

    // Picture boxes: a right-button press asks for a new picture for slot `index`.
    void pct_Image_64128A_MouseDown(int index, Qt::MouseButton button);
    void pct_Image_64128E_MouseDown(int index, Qt::MouseButton button);
    void pct_Image_64240B_MouseDown(int index, Qt::MouseButton button);
    void pct_Image_128240A_MouseDown(int index, Qt::MouseButton button);

    // Glyph grids: toggle the current cell and its bit of Font_5x8 / Font_10x16.
    void msh_Font_5x8_Click();
    void msh_Font_10x16_Click();

    // One glyph tool, "Copia", "Incolla" or "Da carattere..." on glyph 0 (5x8) or 1 (10x16); every
    // change is one step of the history.
    void Glyph_Command(int glyph, GlyphCommand command);
    // Every glyph edit and every slot change, undone and redone by "Modifica".
    QUndoStack* History() const { return undoStack_; }

    // Menu items, each element `index` of its one-element array.
    void smnu_File_Click(int index);
    void smnu_Comunicazione_Click(int index);

    // Projects (.lcdprj). Open_Project asks first about unsaved changes; a file that is not a
    // project is refused with one message and changes nothing; pictures that cannot be taken keep
    // their white picture and are listed in one message. False when nothing was opened.
    bool Open_Project(const std::string& path);
    // "Salva progetto": to the open project's file, or as "Salva progetto con nome..." when
    // there is none. False when nothing was saved (cancelled, or a message said why).
    bool Save_Project();
    bool Save_Project_As();
    const std::string& Project_Path() const { return projectPath_; }
    bool Modified() const { return modified_; }
    // The last five projects opened or saved, newest first.
    static std::vector<std::string> Recent_Projects();
    // The preview window, created by its menu command; null before.
    frm_Anteprima* Preview() const { return preview_; }
    void smnu_Anteprima_Click(int index);
    // "Importa immagine...": asks for any picture, then the dialog for the current tab's panel
    // and the focused box's slot (slot 1 when no box has the focus).
    void smnu_Importa_Immagine_Click();
    // "Reimporta...": the import dialog again for the focused box's slot (as "Importa
    // immagine..." picks it), with the picture it was made from and the settings it was made
    // with; a slot that was not imported is told so.
    void smnu_Reimporta_Click();
    // How the import dialog is run (tests answer it in place of the operator).
    void Set_Import_Dialog_Runner(RunImportDialog run) { runImport_ = std::move(run); }
    // "Modifica immagine...": the focused box's picture (slot 1 of the tab on show when no box
    // has the focus) in the picture editor; a double click or Enter on a box opens its own. What
    // the editor gives back is saved as a new file and taken by the slot as one step of the
    // history.
    void smnu_Modifica_Immagine_Click();
    // How the picture editor is run (tests draw in it in place of the operator).
    void Set_Picture_Editor_Runner(RunPictureEditor run) { runEditor_ = std::move(run); }

    // The production station's lock (frm_Config_LCD_lock.cpp).
    void LockProject(std::function<void()> closeRefused) override;
    void UnlockProject() override;

    static const QString kCaption;
    // The colour identifiers a grid cell stores (in kColourRole): system colours 8 and 5.
    static constexpr unsigned kWindowText = 0x80000008u;
    static constexpr unsigned kWindowBackground = 0x80000005u;
    static constexpr int kColourRole = Qt::UserRole + 1;

  signals:
    // A slot or a glyph changed (a choice, a click, a drop, a project opened).
    void projectChanged();
    // "Stazione di produzione..." was chosen.
    void stationRequested();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct ProjectLockState;
    // While locked, a close is refused and whoever locked is told; true when it was.
    bool Refuse_Close_While_Locked();
    // A programming run of the serial port window is yielding from inside one of its waits.
    bool Run_In_Progress() const;

    // One panel type: its slot array, picture size and controls.
    struct Panel {
        ImageSlots* images = nullptr;
        int width = 0;
        int height = 0;
        QGroupBox* frame = nullptr;
        std::array<platform::CrispPicture*, kSlotsPerPanel> pictures{};
        std::array<QLabel*, kSlotsPerPanel> labels{};
        QImage white;  // its white background as the module shows it, as start-up loaded it
    };
    // What the module will show for a picture file: the compiler's own reading of it (palette
    // indexes, not colours), black where a pixel is on. Null when the file cannot be the panel's
    // picture now.
    struct ModulePicture {
        QImage image;
        bool reversed = false;  // its palette is reversed: the module shows it as a negative
    };
    enum PanelIndex { k64128A, k64128E, k64240B, k128240A, kPanelCount };

    void Build_Controls();
    void Build_Menus();
    // "Modifica" with undo and redo, the glyph grids' menus, keys and cursors.
    void Build_Editing();
    // The glyph's columns, and a new value for them (grid and table together).
    GlyphColumns Glyph_Of(int glyph) const;
    void Show_Glyph(int glyph, const GlyphColumns& columns);
    // A press and drag on a glyph grid (its viewport's mouse events): every cell the pointer
    // crosses turns the way the pressed cell turns, and the whole stroke is one step. A press and
    // a release on one cell stay a click. True when the event was the stroke's.
    bool Follow_Stroke(int glyph, QEvent* event);
    void Set_Glyph_Cell(int glyph, int r, int c, bool on);
    // The grids' cells as large as the Fonts tab has room for, never smaller than at start-up.
    void Fit_Glyph_Grids();
    // One history step from `before` to the glyph as it is now, already shown, named `step`
    // ("Punto", "Specchia orizzontalmente") and the glyph.
    void Record_Glyph_Step(int glyph, const GlyphColumns& before, const QString& step);
    // A slot, its kept path and its box together, as a step of the history puts them back.
    void Put_Slot(PanelIndex which, int index, const ImageSlot& slot, const std::string& kept,
                  const std::string& keptReason);
    // The box as the slot and its file are now: what the module will show, or the white picture
    // crossed out when the picture is away, with a mark and a tool tip that say why.
    void Show_Box(int p, int s);
    ModulePicture Module_Picture(int p, const std::string& path) const;
    // The files the slots show are followed on disk from now on (PictureWatch).
    void Follow_Picture_Files();
    void Picture_Files_Changed(const QStringList& paths);
    // The picture boxes' spoken names: slot, file and panel.
    void Name_Picture_Boxes();
    // The title's unsaved mark follows the history: clean is saved.
    void Follow_History();
    bool Load_White_Background(const char* fileName, std::initializer_list<PanelIndex> panels);
    void Select_Picture(PanelIndex which, int index, Qt::MouseButton button);
    // The header test and the load for a name that passed the name test ("" when it did not),
    // then the box and the slot; a refusal shows "Selezionata immagine non valida". True when
    // the slot took the picture.
    // `step` begins the history step's name, which ends with the slot ("Importa immagine 2 del
    // 64128E"); "" for a right-click choice ("Scelta dell'immagine 2 del 64128E").
    bool Take_Picture(PanelIndex which, int index, const std::string& path,
                      const QString& step = {});
    // Import: the dialog for `source` starting on this slot (with `settings`, or those last used
    // for the panel), then Take_Picture with its file; the import is recorded for "Reimporta...".
    void Import_Into(PanelIndex which, int index, const std::string& source,
                     const std::optional<picture::Settings>& settings = std::nullopt,
                     const QString& step = QStringLiteral("Importa "));
    // The panel of the tab on show (the first for the glyph tab) and its focused box's slot.
    void Current_Slot(PanelIndex& which, int& slot) const;
    void Build_Picture_Editing();
    // The slot's picture, as the compiler reads it, through the editor and back into the slot.
    void Edit_Picture(PanelIndex which, int index);
    // How the picture a slot shows was imported; null when it was not.
    const Project::Import* Import_Of(int p, int s) const;
    bool Reversed_Kept(const std::string& path) const;
    // A file dropped on a picture box: a 1-bit picture of the panel's size is taken as it is,
    // anything else goes through the import dialog for that slot.
    void Drop_Picture(PanelIndex which, int index, const std::string& file);
    // After pictures were taken: one offer to fix those whose palette is reversed.
    void Check_Palettes(const std::vector<SlotPicture>& taken);
    void Check_All_Palettes();
    void Build_Import_Menu();
    void Build_Project_Menus();
    void Show_Recent_Projects();
    void Remember_Project(const std::string& path);
    bool Write_Project_To(const std::string& path);
    void Forget_Project(const std::string& path);
    // A slot whose project picture was not taken: its white picture with a red cross, and a tool
    // tip naming the file and why. An empty `path` takes the mark away.
    void Mark_Kept_Picture(int p, int s, const std::string& path, const std::string& reason);
    // Unsaved changes: asks Salva / Non salvare / Annulla. True when the caller may go on.
    bool Confirm_Discard();
    QString Title() const;
    void Show_Glyphs();
    // The slot of the picture box `watched`; false when it is none.
    bool Slot_Of(const QObject* watched, int& p, int& i) const;
    // The local file a drag carries, if it carries exactly one.
    static std::string Dropped_File(const QMimeData* data);
    // Reads a picture through the file service; null when it cannot be read or decoded.
    QImage Load_Picture(const std::string& path) const;
    // False when the grid has no current cell (nothing changed).
    bool Toggle_Cell(QTableWidget* grid, unsigned mask, const std::function<unsigned(int)>& get,
                     const std::function<void(int, unsigned)>& set);

    platform::Services& services_;
    ProgramState& state_;
    platform::SerialWindowAccess* serialWindow_;
    std::array<Panel, kPanelCount> panels_{};

    QTabWidget* SST_Select_Image = nullptr;
    QGroupBox* fra_Font_64128A_64128E = nullptr;
    QGroupBox* fra_5x8 = nullptr;
    QGroupBox* fra_10x16 = nullptr;
    QTableWidget* msh_Font_5x8 = nullptr;
    QTableWidget* msh_Font_10x16 = nullptr;
    QMenu* mnu_File = nullptr;
    QMenu* mnu_Comunicazione = nullptr;
    QAction* smnu_File_0 = nullptr;
    QAction* smnu_Comunicazione_0 = nullptr;

    std::string projectPath_;
    bool modified_ = false;
    // The open project's paths whose pictures were not taken, and the keys this version does
    // not know: both go back into the file on the next save.
    PicturePaths keptPaths_;
    PicturePaths keptReasons_;
    Project unknownKeys_;
    // How the project's imported pictures were made, and the reversed palettes the operator
    // chose to keep; saved with the project for the pictures its slots still name.
    std::vector<Project::Import> imports_;
    std::vector<std::string> reversedKept_;
    // A picture file changed on disk since the project was opened or saved: what the module
    // would get is no longer what was saved, so the title says so until the next save.
    bool picturesChanged_ = false;
    PictureWatch* watch_ = nullptr;
    // The project file as it was when opened or last saved here; a save over a file that changed
    // since then would destroy somebody else's work.
    platform::FileStamp stamp_;
    frm_Anteprima* preview_ = nullptr;
    QAction* smnu_Apri_Progetto = nullptr;
    QAction* smnu_Salva_Progetto = nullptr;
    QAction* smnu_Salva_Progetto_Con_Nome = nullptr;
    std::vector<QAction*> recentActions_;
    QMenu* mnu_Visualizza = nullptr;
    QAction* smnu_Anteprima_0 = nullptr;
    QAction* smnu_Importa_Immagine = nullptr;
    QAction* smnu_Reimporta = nullptr;
    RunImportDialog runImport_;
    RunPictureEditor runEditor_;
    QAction* smnu_Modifica_Immagine = nullptr;
    QUndoStack* undoStack_ = nullptr;
    QMenu* mnu_Modifica = nullptr;
    std::array<GlyphGrid*, 2> glyphGrids_{};
    // Says what a command did where the focus gives no sign of it (undo, a grid's commands).
    platform::Announcer* announcer_ = nullptr;
    struct Stroke {
        int glyph = -1;  // none
        bool on = false;
        bool moved = false;
        int row = 0, column = 0;  // the last cell painted
        GlyphColumns before;
    };
    Stroke stroke_;
    // The glyph frames and grids as start-up made them, cells of `cell` pixels; they grow from
    // there.
    struct GlyphGeometry {
        int cell = 0;
        QRect font, frame5, grid5, frame10, grid10;
    };
    GlyphGeometry glyphBase_;
    // While the station holds the project. Shared: its deleter is made where the state is known.
    std::shared_ptr<ProjectLockState> lock_;
};

}  // namespace lcdprog
