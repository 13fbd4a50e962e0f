// The main window's project commands: open, save, save as, the recent projects and the title
// that names the open project.
#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QUndoStack>
#include <algorithm>

#include "compiler/image_decoder.h"
#include "main_window/frm_Config_LCD.h"
#include "platform/choose_file.h"
#include "platform/lower_case_path.h"
#include "platform/qt/accessibility.h"
#include "project/project_file.h"
#include "project/project_state.h"
#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

constexpr int kRecentProjects = 5;
const QString kRecentKey = QStringLiteral("recentProjects");

}  // namespace

void frm_Config_LCD::Build_Project_Menus() {
    // Added in front of "Esci", with a separator between them; the recent projects go between
    // that separator and another one, and only when there are some.
    struct Item {
        QAction** action;
        const char* name;
        QString caption;
        QKeySequence keys;
        std::function<void()> run;
    };
    const Item items[] = {
        {&smnu_Apri_Progetto, "smnu_Apri_Progetto", QStringLiteral("Apri progetto..."),
         QKeySequence(Qt::CTRL | Qt::Key_O),
         [this] {
             if (const auto chosen = platform::Choose_File(services_.dialog, "Apri progetto",
                                                           kProjectFilter, false)) {
                 Open_Project(*chosen);
             }
         }},
        {&smnu_Salva_Progetto, "smnu_Salva_Progetto", QStringLiteral("Salva progetto"),
         QKeySequence(Qt::CTRL | Qt::Key_S), [this] { Save_Project(); }},
        {&smnu_Salva_Progetto_Con_Nome, "smnu_Salva_Progetto_Con_Nome",
         QStringLiteral("Salva progetto con nome..."), QKeySequence(),
         [this] { Save_Project_As(); }},
    };
    for (const Item& item : items) {
        auto* action = new QAction(item.caption, mnu_File);
        action->setObjectName(QString::fromLatin1(item.name));
        action->setShortcut(item.keys);
        connect(action, &QAction::triggered, this, item.run);
        mnu_File->insertAction(smnu_File_0, action);
        *item.action = action;
    }
    mnu_File->insertSeparator(smnu_File_0);
    Build_Import_Menu();
    Show_Recent_Projects();

    const QString view = QStringLiteral("&Visualizza");
    mnu_Visualizza = menuBar()->addMenu(view);
    platform::Name_Control(mnu_Visualizza, QStringLiteral("mnu_Visualizza"), view, QString());
    smnu_Anteprima_0 = mnu_Visualizza->addAction(QStringLiteral("&Anteprima del modulo"));
    smnu_Anteprima_0->setObjectName(QStringLiteral("smnu_Anteprima_0"));
    smnu_Anteprima_0->setShortcut(QKeySequence(Qt::Key_F5));
    connect(smnu_Anteprima_0, &QAction::triggered, this, [this] { smnu_Anteprima_Click(0); });
}

std::vector<std::string> frm_Config_LCD::Recent_Projects() {
    std::vector<std::string> paths;
    for (const QString& path : QSettings().value(kRecentKey).toStringList()) {
        if (!path.isEmpty() && paths.size() < kRecentProjects) {
            paths.push_back(path.toStdString());
        }
    }
    return paths;
}

void frm_Config_LCD::Remember_Project(const std::string& path) {
    QStringList paths{QString::fromStdString(path)};
    for (const std::string& old : Recent_Projects()) {
        if (old != path && paths.size() < kRecentProjects) {
            paths << QString::fromStdString(old);
        }
    }
    QSettings().setValue(kRecentKey, paths);
    Show_Recent_Projects();
}

void frm_Config_LCD::Forget_Project(const std::string& path) {
    QStringList paths;
    for (const std::string& old : Recent_Projects()) {
        if (old != path) {
            paths << QString::fromStdString(old);
        }
    }
    QSettings().setValue(kRecentKey, paths);
    Show_Recent_Projects();
}

void frm_Config_LCD::Show_Recent_Projects() {
    for (QAction* action : recentActions_) {
        mnu_File->removeAction(action);
        action->deleteLater();
    }
    recentActions_.clear();
    const std::vector<std::string> paths = Recent_Projects();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const QFileInfo info(QString::fromStdString(paths[i]));
        // "&1 name.lcdprj": the number is the access key; the tool tip holds the whole path.
        // Projects that share a name (every job's "job.lcdprj") add their folder, or the
        // operator could not tell them apart.
        QString caption = QStringLiteral("&%1 %2").arg(i + 1).arg(info.fileName());
        for (std::size_t j = 0; j < paths.size(); ++j) {
            if (j != i &&
                QFileInfo(QString::fromStdString(paths[j])).fileName() == info.fileName()) {
                caption += QStringLiteral(" (%1)").arg(info.absolutePath());
                break;
            }
        }
        auto* action = new QAction(caption, mnu_File);
        action->setObjectName(QStringLiteral("smnu_Progetto_Recente_%1").arg(i));
        action->setToolTip(info.filePath());
        action->setStatusTip(info.filePath());
        connect(action, &QAction::triggered, this, [this, p = paths[i]] { Open_Project(p); });
        mnu_File->insertAction(smnu_File_0, action);
        recentActions_.push_back(action);
    }
    if (!paths.empty()) {
        recentActions_.push_back(mnu_File->insertSeparator(smnu_File_0));
    }
    mnu_File->setToolTipsVisible(true);
}

void frm_Config_LCD::Mark_Kept_Picture(int p, int s, const std::string& path,
                                       const std::string& reason) {
    keptPaths_[p][s] = path;
    keptReasons_[p][s] = path.empty() ? std::string() : reason;
    Show_Box(p, s);
}

bool frm_Config_LCD::Open_Project(const std::string& path) {
    if (!Confirm_Discard()) {
        return false;
    }
    const std::string full = Absolute_Path(path);
    const platform::Result<Project> read = Read_Project(services_.files, full);
    if (!read) {
        services_.messages.Show(read.Text(), "ERROR", platform::MessageIcon::Critical);
        if (!services_.files.FileExists(full)) {
            // A recent project that was moved or deleted would fail the same way every time.
            Forget_Project(full);
        }
        return false;
    }
    // Each picture must also load, since its box shows it, as for a right-click choice.
    const auto refused = Apply_Project(
        state_, *read, services_.files,
        [&](int p, int, const std::string& picture) -> platform::Result<> {
            if (Module_Picture(p, picture).image.isNull()) {
                return platform::Refusal{platform::RefusalKind::Invalid, "immagine non leggibile"};
            }
            return platform::kDone;
        });
    keptPaths_ = Kept_Paths(refused);
    keptReasons_ = {};
    for (const RefusedPicture& r : refused) {
        keptReasons_[r.panel][r.slot] = r.reason;
    }
    for (int p = 0; p < kPanelCount; ++p) {
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            Show_Box(p, s);
        }
    }
    imports_ = read->imports;
    reversedKept_ = read->reversedPalettesKept;
    picturesChanged_ = false;
    Follow_Picture_Files();
    unknownKeys_ = *read;
    Show_Glyphs();
    projectPath_ = full;
    stamp_ = platform::Stamp_Of(full);
    modified_ = false;
    // A project opened starts a history of its own: nothing before it can be undone.
    undoStack_->clear();
    setWindowTitle(Title());
    Remember_Project(full);
    emit projectChanged();
    if (!refused.empty()) {
        services_.messages.Show(Refused_Pictures_Message(refused), kRefusedPicturesTitle,
                                platform::MessageIcon::Exclamation);
    }
    Check_All_Palettes();
    return true;
}

bool frm_Config_LCD::Save_Project() {
    if (projectPath_.empty()) {
        return Save_Project_As();
    }
    const platform::FileStamp now = platform::Stamp_Of(projectPath_);
    if (now.exists && now != stamp_) {
        services_.messages.Show(
            "Il progetto " + projectPath_ +
                " è stato modificato da un altro programma dopo l'apertura: non è stato "
                "sovrascritto, per non perdere quelle modifiche. Per salvare questo progetto "
                "usare \"Salva progetto con nome...\".",
            "ERROR", platform::MessageIcon::Critical);
        return false;
    }
    return Write_Project_To(projectPath_);
}

bool frm_Config_LCD::Save_Project_As() {
    // The save form of the same dialog the pictures are chosen with.
    const std::optional<std::string> path = platform::Choose_File(
        services_.dialog, "Salva progetto con nome", kProjectFilter, true, kProjectExtension);
    if (!path) {
        return false;
    }
    return Write_Project_To(Absolute_Path(*path));
}

bool frm_Config_LCD::Write_Project_To(const std::string& path) {
    Project project = Capture_Project(state_, services_.files, keptPaths_);
    // Only what concerns the pictures the slots still name: an import undone, or a picture
    // replaced since, leaves nothing behind in the file.
    const auto named = [&](const std::string& path) {
        for (const auto& panel : project.pictures) {
            for (const std::string& picture : panel) {
                if (!picture.empty() &&
                    platform::Lower_Case_Path(picture) == platform::Lower_Case_Path(path)) {
                    return true;
                }
            }
        }
        return false;
    };
    for (auto it = imports_.rbegin(); it != imports_.rend(); ++it) {
        const bool newer =
            std::any_of(project.imports.begin(), project.imports.end(),
                        [&](const Project::Import& seen) { return seen.picture == it->picture; });
        if (named(it->picture) && !newer) {
            project.imports.insert(project.imports.begin(), *it);
        }
    }
    for (const std::string& path : reversedKept_) {
        if (named(path)) {
            project.reversedPalettesKept.push_back(path);
        }
    }
    project.extraTop = unknownKeys_.extraTop;
    project.extraPictures = unknownKeys_.extraPictures;
    project.extraGlyphs = unknownKeys_.extraGlyphs;
    // A failure changes nothing here: the slots, the glyphs, the kept paths and the modified
    // mark stay, so the operator can save elsewhere.
    const platform::Result<> written = Write_Project(project, path);
    if (!written) {
        services_.messages.Show(written.Text(), "ERROR", platform::MessageIcon::Critical);
        return false;
    }
    projectPath_ = path;
    stamp_ = platform::Stamp_Of(path);
    modified_ = false;
    picturesChanged_ = false;
    // Undoing or redoing back to this point brings the saved state back, with no unsaved mark.
    undoStack_->setClean();
    setWindowTitle(Title());
    Remember_Project(path);
    return true;
}

bool frm_Config_LCD::Confirm_Discard() {
    if (!modified_) {
        return true;
    }
    const std::string name = projectPath_.empty() ? std::string("senza nome")
                                                  : services_.files.GetFileName(projectPath_);
    switch (services_.messages.AskSave(
        "Le modifiche al progetto " + name + " non sono salvate. Salvarle ora?",
        kCaption.toStdString())) {
        case platform::SaveChoice::Save:
            return Save_Project();
        case platform::SaveChoice::Discard:
            return true;
        case platform::SaveChoice::Cancel:
            break;
    }
    return false;
}

QString frm_Config_LCD::Title() const {
    // "Programmatore LCD grafici" alone until there is a project or a change; then the project's
    // name first (or "senza nome"), "*" right after it while there are unsaved changes, and the
    // program's name once: a narrow title bar cuts the end, and the name is what tells windows
    // apart.
    if (projectPath_.empty() && !modified_) {
        return kCaption;
    }
    const QString name = projectPath_.empty()
                             ? QStringLiteral("senza nome")
                             : QFileInfo(QString::fromStdString(projectPath_)).fileName();
    return name + (modified_ ? QStringLiteral("*") : QString()) + QStringLiteral(" — ") + kCaption;
}

}  // namespace lcdprog
