// The main window's project commands: open, save, save as, the recent projects and the title
// that names the open project.
#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QUndoStack>

#include "main_window/frm_Config_LCD.h"
#include "main_window/mod_Funzioni_Varie.h"
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
             if (const auto chosen = Choose_File(state_, services_.dialog, kProjectFilter, false)) {
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

void frm_Config_LCD::Show_Recent_Projects() {
    for (QAction* action : recentActions_) {
        mnu_File->removeAction(action);
        action->deleteLater();
    }
    recentActions_.clear();
    const std::vector<std::string> paths = Recent_Projects();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const QString path = QString::fromStdString(paths[i]);
        // "&1 name.lcdprj": the number is the access key; the tool tip holds the whole path.
        auto* action = new QAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(path).fileName()), mnu_File);
        action->setObjectName(QStringLiteral("smnu_Progetto_Recente_%1").arg(i));
        action->setToolTip(path);
        action->setStatusTip(path);
        connect(action, &QAction::triggered, this, [this, p = paths[i]] { Open_Project(p); });
        mnu_File->insertAction(smnu_File_0, action);
        recentActions_.push_back(action);
    }
    if (!paths.empty()) {
        recentActions_.push_back(mnu_File->insertSeparator(smnu_File_0));
    }
    mnu_File->setToolTipsVisible(true);
}

bool frm_Config_LCD::Open_Project(const std::string& path) {
    if (!Confirm_Discard()) {
        return false;
    }
    const std::string full = Absolute_Path(path);
    const platform::Result<Project> read = Read_Project(services_.files, full);
    if (!read) {
        services_.messages.Show(read.Text(), "ERROR", platform::MessageIcon::Critical);
        return false;
    }
    // Each picture must also load, since its box shows it, as for a right-click choice.
    std::array<std::array<QImage, kSlotsPerPanel>, kPanelCount> loaded{};
    const auto refused = Apply_Project(
        state_, *read, services_.files,
        [&](int p, int s, const std::string& picture) -> platform::Result<> {
            loaded[p][s] = Load_Picture(picture);
            if (loaded[p][s].isNull()) {
                return platform::Refusal{platform::RefusalKind::Invalid, "immagine non leggibile"};
            }
            return {};
        });
    for (int p = 0; p < kPanelCount; ++p) {
        for (int s = 0; s < kSlotsPerPanel; ++s) {
            const bool own = !read->pictures[p][s].empty() && !loaded[p][s].isNull();
            panels_[p].pictures[s]->setPixmap(own ? QPixmap::fromImage(loaded[p][s])
                                                  : panels_[p].white);
        }
    }
    Show_Glyphs();
    projectPath_ = full;
    // Opened as it is on disk: not modified, even when some pictures were refused, so that a
    // picture on a drive that is away today is not dropped from the file by a mere close.
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
    return Write_Project_To(projectPath_);
}

bool frm_Config_LCD::Save_Project_As() {
    // The save form of the same dialog the pictures are chosen with.
    const std::optional<std::string> path =
        Choose_File(state_, services_.dialog, kProjectFilter, true, kProjectExtension);
    if (!path) {
        return false;
    }
    return Write_Project_To(Absolute_Path(*path));
}

bool frm_Config_LCD::Write_Project_To(const std::string& path) {
    const platform::Result<> written =
        Write_Project(Capture_Project(state_, services_.files), path);
    if (!written) {
        services_.messages.Show(written.Text(), "ERROR", platform::MessageIcon::Critical);
        return false;
    }
    projectPath_ = path;
    modified_ = false;
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

void frm_Config_LCD::Set_Modified() {
    modified_ = true;
    if (!state_.RunInProgress) {
        setWindowTitle(Title());
    }
    emit projectChanged();
}

QString frm_Config_LCD::Title() const {
    // "Programmatore LCD grafici" alone until there is a project or a change; then the project's
    // name (or "senza nome") and, while there are unsaved changes, a "*".
    if (projectPath_.empty() && !modified_) {
        return kCaption;
    }
    const QString name = projectPath_.empty()
                             ? QStringLiteral("senza nome")
                             : QFileInfo(QString::fromStdString(projectPath_)).fileName();
    return kCaption + QStringLiteral(" - ") + name + (modified_ ? QStringLiteral(" *") : QString());
}

}  // namespace lcdprog
