#pragma once
#include "annotation/BeautifyConfig.h"

#include <QWidget>
#include <vector>

class AnnotationDocument;
class Preferences;
class QAbstractButton;
class QCheckBox;
class QLabel;
class QSlider;
class QTimer;
class QVBoxLayout;

// The side panel in which the Beautify frame of the open image is set: on or off, background
// (solid colour, gradient, wallpaper, an image file), padding, corner radius, shadow and aspect
// ratio. Edits the document's configuration directly; every change is also stored as the
// starting values for the next image ("beautifyConfigDefaults"), at most every 300 ms while a
// slider moves, and always with the last value.
class BeautifyOptionsPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 maximumCustomImageBytes = 52428800;
    static constexpr int saveDebounceMs = 300;

    // `preferences`: where the defaults go.
    BeautifyOptionsPanel(AnnotationDocument& document, Preferences& preferences, QWidget* parent = nullptr);
    ~BeautifyOptionsPanel() override;

    // The actions of the panel's controls.
    void setEnabledFrame(bool enabled);
    void chooseSolidBackground();
    void chooseGradientBackground();
    void chooseWallpaperBackground();
    // The bytes of an image file as custom background; refused with a visible message when they
    // are not a decodable image or larger than 50 MiB. True when taken.
    bool chooseCustomImage(const QByteArray& bytes);
    void applyAspectPreset(BeautifyAspectPreset preset);
    void setPaddingFraction(double value);
    void setCornerRadiusFraction(double value);
    void setShadowEnabled(bool enabled);
    void setShadowStrength(double value);
    void setSolidColor(const PaintColor& color);
    void setGradientColor(int index, const PaintColor& color);

    // Saves a pending change of the defaults now.
    void flushDefaults();
    // The message under the background buttons ("" when none).
    QString messageText() const;
    QAbstractButton* backgroundButton(int index) const { return m_backgroundButtons.at(std::size_t(index)); }
    QAbstractButton* aspectChip(int index) const { return m_aspectChips.at(std::size_t(index)); }
    QCheckBox* enableSwitch() const { return m_enable; }
    QWidget* detailsArea() const { return m_details; }
    QSlider* shadowSlider() const { return m_shadowStrength; }
    QWidget* solidColorControl() const { return m_solidRow; }
    QWidget* gradientColorControls() const { return m_gradientRow; }

signals:
    void closeRequested();

private:
    // The background type buttons, the message line and the colour rows.
    void addBackgroundControls(QVBoxLayout* details);
    // Padding, corner radius and shadow.
    void addFrameControls(QVBoxLayout* details);
    // The aspect preset chips.
    void addAspectControls(QVBoxLayout* details);
    void update(const std::function<void(BeautifyConfig&)>& change);
    void refresh();
    void presentCustomImagePicker();
    void pickColor(const PaintColor& current, const std::function<void(const PaintColor&)>& apply);

    AnnotationDocument& m_document;
    Preferences& m_preferences;
    QTimer* m_saveTimer = nullptr;
    bool m_savePending = false;

    QCheckBox* m_enable = nullptr;
    QWidget* m_details = nullptr;
    std::vector<QAbstractButton*> m_backgroundButtons;
    QLabel* m_message = nullptr;
    QWidget* m_solidRow = nullptr;
    QAbstractButton* m_solidSwatch = nullptr;
    QWidget* m_gradientRow = nullptr;
    QAbstractButton* m_gradientSwatches[2] = {nullptr, nullptr};
    QSlider* m_padding = nullptr;
    QSlider* m_radius = nullptr;
    QCheckBox* m_shadow = nullptr;
    QSlider* m_shadowStrength = nullptr;
    std::vector<QAbstractButton*> m_aspectChips;
    bool m_refreshing = false;
};
