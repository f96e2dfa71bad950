#pragma once

#include <QString>
#include <QtGlobal>

class QWidget;

namespace tidewell {

// The skin component: a Qt style sheet kept in a skin file, put on a window
// or on the whole application. The main window drives it by the member
// numbers it was designed against; the names here stand for them:
//
//   operation 2   LoadSkin(skin path, extra rules)
//   property 1    ApplyOptions (bits; 1 = ApplyToApplication)
//   property 5    SkinSearchPath
//   property 10   FusionBase
//   operation 3   ApplyWindow(window)
//
// Settings take effect when a window is applied, not when they are set.
class SkinFramework
{
public:
    enum ApplyOption : qint32 {
        // Skin every window of the program, not only the one applied.
        ApplyToApplication = 1,
    };

    SkinFramework() = default;
    virtual ~SkinFramework() = default;
    SkinFramework(const SkinFramework &) = delete;
    SkinFramework &operator=(const SkinFramework &) = delete;

    // Reads the skin file; extraRules follow its own rules, for a host that
    // adjusts a skin. False, with no skin loaded, when it cannot be read.
    virtual bool LoadSkin(const QString &skinPath, const QString &extraRules);

    virtual qint32 ApplyOptions() const { return m_applyOptions; }
    virtual void setApplyOptions(qint32 options) { m_applyOptions = options; }

    // Makes the skin file's folder the "skin:" search path, so the sheet can
    // name its pictures as url(skin:name.png) wherever the program stands.
    virtual bool SkinSearchPath() const { return m_skinSearchPath; }
    virtual void setSkinSearchPath(bool on) { m_skinSearchPath = on; }

    // Draws under the sheet with the Fusion style, so the skin looks the same
    // whatever style the desktop would have chosen.
    virtual bool FusionBase() const { return m_fusionBase; }
    virtual void setFusionBase(bool on) { m_fusionBase = on; }

    // Puts the loaded skin on the window (or the application, per the
    // options). Does nothing before a skin was loaded.
    virtual void ApplyWindow(QWidget &window);

    bool loaded() const { return m_loaded; }
    const QString &styleSheet() const { return m_styleSheet; }

private:
    QString m_styleSheet;
    QString m_skinFolder;
    bool m_loaded = false;
    qint32 m_applyOptions = 0;
    bool m_skinSearchPath = false;
    bool m_fusionBase = false;
};

} // namespace tidewell
