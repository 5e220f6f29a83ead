#include "editor/BeautifyOptionsPanel.h"

#include "annotation/AnnotationDocument.h"
#include "annotation/BeautifyGeometry.h"
#include "editor/EditorButton.h"
#include "platform/Preferences.h"
#include "ui/Theme.h"

#include <QBuffer>
#include <QCheckBox>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int kSteps = 1000;

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setStyleSheet(Theme::separatorStyle());
    return line;
}

QLabel* sectionLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setFont(Theme::labelFont(11, QFont::Medium));
    label->setStyleSheet(Theme::labelStyle(Theme::secondaryText()));
    return label;
}

QSlider* slider(QWidget* parent)
{
    auto* s = new QSlider(Qt::Horizontal, parent);
    s->setRange(0, kSteps);
    s->setStyleSheet(Theme::sliderStyle());
    return s;
}

double fromSlider(const QSlider* s, double lo, double hi)
{
    return lo + (hi - lo) * s->value() / double(kSteps);
}

void toSlider(QSlider* s, double value, double lo, double hi)
{
    s->setValue(int(std::lround(std::clamp((value - lo) / (hi - lo), 0.0, 1.0) * kSteps)));
}

// A check box drawn as a switch: a pill with a round knob, then the title.
class ToggleSwitch : public QCheckBox {
public:
    using QCheckBox::QCheckBox;
    QSize sizeHint() const override
    {
        return QSize(34 + 10 + fontMetrics().horizontalAdvance(text()), std::max(20, fontMetrics().height()));
    }

protected:
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF track(0.5, (height() - 18) / 2.0, 32, 18);
        p.setPen(Qt::NoPen);
        p.setBrush(isChecked() ? Theme::accent() : Theme::whiteAlpha(50));
        p.drawRoundedRect(track, 9, 9);
        p.setBrush(Theme::text());
        const double knobX = isChecked() ? track.right() - 16 : track.left() + 2;
        p.drawEllipse(QRectF(knobX, track.top() + 2, 14, 14));
        p.setPen(Theme::text());
        p.drawText(QRectF(44, 0, width() - 44, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    }
};

QString presetLabel(BeautifyAspectPreset preset)
{
    switch (preset) {
    case BeautifyAspectPreset::square:
        return QStringLiteral("1:1");
    case BeautifyAspectPreset::portrait45:
        return QStringLiteral("4:5");
    case BeautifyAspectPreset::portrait916:
        return QStringLiteral("9:16");
    case BeautifyAspectPreset::landscape169:
        return QStringLiteral("16:9");
    case BeautifyAspectPreset::original:
        break;
    }
    return QStringLiteral("Original");
}

}

BeautifyOptionsPanel::BeautifyOptionsPanel(AnnotationDocument& document, Preferences& preferences, QWidget* parent)
    : QWidget(parent)
    , m_document(document)
    , m_preferences(preferences)
{
    setFixedWidth(280);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Theme::annotationSurface());
    setPalette(pal);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    auto* title = new QLabel(QStringLiteral("Beautify"), this);
    title->setFont(Theme::labelFont(14, QFont::DemiBold));
    header->addWidget(title);
    header->addStretch(1);
    auto* close = new EditorButton(QStringLiteral("xmark.circle.fill"), QSize(22, 22), 16, this);
    close->setSymbolColor(Theme::secondaryText());
    close->setObjectName(QStringLiteral("beautifyClose"));
    connect(close, &QAbstractButton::clicked, this, &BeautifyOptionsPanel::closeRequested);
    header->addWidget(close);
    column->addLayout(header);

    m_enable = new ToggleSwitch(QStringLiteral("Beautify aktivieren"), this);
    connect(m_enable, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            setEnabledFrame(on);
    });
    column->addWidget(m_enable);

    m_details = new QWidget(this);
    auto* details = new QVBoxLayout(m_details);
    details->setContentsMargins(0, 0, 0, 0);
    details->setSpacing(12);
    addBackgroundControls(details);
    addFrameControls(details);
    addAspectControls(details);
    column->addWidget(m_details);
    column->addStretch(1);

    m_saveTimer = new QTimer(this);
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(saveDebounceMs);
    connect(m_saveTimer, &QTimer::timeout, this, &BeautifyOptionsPanel::flushDefaults);
    connect(&m_document, &AnnotationDocument::beautifyConfigChanged, this, &BeautifyOptionsPanel::refresh);
    refresh();
}

void BeautifyOptionsPanel::addBackgroundControls(QVBoxLayout* details)
{
    details->addWidget(divider(m_details));
    details->addWidget(sectionLabel(QStringLiteral("Hintergrund"), m_details));

    auto* types = new QHBoxLayout;
    types->setSpacing(6);
    const QString symbols[4] = {QStringLiteral("paintpalette.fill"), QStringLiteral("square.stack.3d.up.fill"),
        QStringLiteral("photo.on.rectangle.angled"), QStringLiteral("photo.badge.plus")};
    for (int i = 0; i < 4; ++i) {
        auto* button = new EditorButton(symbols[i], QSize(32, 28), 16, m_details);
        button->setFaintBackground(true);
        types->addWidget(button);
        m_backgroundButtons.push_back(button);
    }
    types->addStretch(1);
    connect(m_backgroundButtons[0], &QAbstractButton::clicked, this, &BeautifyOptionsPanel::chooseSolidBackground);
    connect(m_backgroundButtons[1], &QAbstractButton::clicked, this, &BeautifyOptionsPanel::chooseGradientBackground);
    connect(m_backgroundButtons[2], &QAbstractButton::clicked, this, &BeautifyOptionsPanel::chooseWallpaperBackground);
    connect(m_backgroundButtons[3], &QAbstractButton::clicked, this, &BeautifyOptionsPanel::presentCustomImagePicker);
    details->addLayout(types);

    m_message = new QLabel(m_details);
    m_message->setWordWrap(true);
    m_message->setFont(Theme::labelFont(11));
    m_message->setStyleSheet(Theme::labelStyle(Theme::errorText()));
    m_message->hide();
    details->addWidget(m_message);

    // Colour controls of the current background.
    m_solidRow = new QWidget(m_details);
    auto* solid = new QHBoxLayout(m_solidRow);
    solid->setContentsMargins(0, 0, 0, 0);
    solid->setSpacing(8);
    m_solidSwatch = new EditorButton(QString(), QSize(22, 22), 22, m_solidRow);
    connect(m_solidSwatch, &QAbstractButton::clicked, this, [this] {
        const auto& bg = m_document.beautifyConfig().background;
        pickColor(bg.kind == BeautifyBackground::Kind::solid ? bg.color : PaintColor(0, 0, 0, 1),
            [this](const PaintColor& c) { setSolidColor(c); });
    });
    auto* solidLabel = new QLabel(QStringLiteral("Farbe"), m_solidRow);
    solidLabel->setFont(Theme::labelFont(12));
    solid->addWidget(solidLabel);
    solid->addWidget(m_solidSwatch);
    solid->addStretch(1);
    details->addWidget(m_solidRow);

    m_gradientRow = new QWidget(m_details);
    auto* gradient = new QHBoxLayout(m_gradientRow);
    gradient->setContentsMargins(0, 0, 0, 0);
    gradient->setSpacing(8);
    for (int i = 0; i < 2; ++i) {
        m_gradientSwatches[i] = new EditorButton(QString(), QSize(22, 22), 22, m_gradientRow);
        connect(m_gradientSwatches[i], &QAbstractButton::clicked, this, [this, i] {
            const auto& bg = m_document.beautifyConfig().background;
            const PaintColor current = bg.kind == BeautifyBackground::Kind::gradient && i < int(bg.colors.size())
                ? bg.colors[std::size_t(i)]
                : PaintColor(0, 0, 0, 1);
            pickColor(current, [this, i](const PaintColor& c) { setGradientColor(i, c); });
        });
        gradient->addWidget(m_gradientSwatches[i]);
    }
    auto* gradientLabel = new QLabel(QStringLiteral("Verlauf"), m_gradientRow);
    gradientLabel->setFont(Theme::labelFont(12));
    gradientLabel->setStyleSheet(Theme::labelStyle(Theme::secondaryText()));
    gradient->addWidget(gradientLabel);
    gradient->addStretch(1);
    details->addWidget(m_gradientRow);

}

void BeautifyOptionsPanel::addFrameControls(QVBoxLayout* details)
{
    details->addWidget(divider(m_details));
    details->addWidget(sectionLabel(QStringLiteral("Abstand"), m_details));
    m_padding = slider(m_details);
    connect(m_padding, &QSlider::valueChanged, this, [this] {
        if (!m_refreshing)
            setPaddingFraction(fromSlider(m_padding, 0, BeautifyConfig::maximumPaddingFraction));
    });
    details->addWidget(m_padding);
    details->addWidget(sectionLabel(QStringLiteral("Eckenradius"), m_details));
    m_radius = slider(m_details);
    connect(m_radius, &QSlider::valueChanged, this, [this] {
        if (!m_refreshing)
            setCornerRadiusFraction(fromSlider(m_radius, 0, BeautifyConfig::maximumCornerRadiusFraction));
    });
    details->addWidget(m_radius);
    details->addWidget(divider(m_details));
    m_shadow = new QCheckBox(QStringLiteral("Schatten"), m_details);
    m_shadow->setStyleSheet(Theme::checkBoxStyle());
    connect(m_shadow, &QCheckBox::toggled, this, [this](bool on) {
        if (!m_refreshing)
            setShadowEnabled(on);
    });
    details->addWidget(m_shadow);
    m_shadowStrength = slider(m_details);
    connect(m_shadowStrength, &QSlider::valueChanged, this, [this] {
        if (!m_refreshing)
            setShadowStrength(fromSlider(
                m_shadowStrength, BeautifyConfig::minimumShadowStrength, BeautifyConfig::maximumShadowStrength));
    });
    details->addWidget(m_shadowStrength);
}

void BeautifyOptionsPanel::addAspectControls(QVBoxLayout* details)
{
    details->addWidget(divider(m_details));
    details->addWidget(sectionLabel(QStringLiteral("Seitenverhältnis"), m_details));
    auto* chips = new QHBoxLayout;
    chips->setSpacing(6);
    for (BeautifyAspectPreset preset : BeautifyAspectPresets::allCases()) {
        const QString text = presetLabel(preset);
        QFont font;
        font.setPixelSize(11);
        font.setWeight(QFont::Medium);
        const int w = QFontMetrics(font).horizontalAdvance(text) + 16;
        auto* chip = new EditorButton(QString(), QSize(w, 22), 0, m_details);
        chip->setText(text);
        chip->setFont(font);
        chip->setFaintBackground(true);
        chip->setRadius(5);
        connect(chip, &QAbstractButton::clicked, this, [this, preset] { applyAspectPreset(preset); });
        chips->addWidget(chip);
        m_aspectChips.push_back(chip);
    }
    chips->addStretch(1);
    details->addLayout(chips);
}

BeautifyOptionsPanel::~BeautifyOptionsPanel()
{
    flushDefaults();
}

void BeautifyOptionsPanel::flushDefaults()
{
    m_saveTimer->stop();
    if (!m_savePending)
        return;
    m_savePending = false;
    m_document.beautifyConfig().saveAsDefaults(m_preferences);
}

void BeautifyOptionsPanel::update(const std::function<void(BeautifyConfig&)>& change)
{
    BeautifyConfig config = m_document.beautifyConfig();
    change(config);
    if (config == m_document.beautifyConfig())
        return;
    m_document.setBeautifyConfig(config);
    m_savePending = true;
    if (!m_saveTimer->isActive())
        m_saveTimer->start();
}

void BeautifyOptionsPanel::setEnabledFrame(bool enabled)
{
    update([&](BeautifyConfig& c) { c.isEnabled = enabled; });
}

void BeautifyOptionsPanel::chooseSolidBackground()
{
    m_message->hide();
    update([](BeautifyConfig& c) { c.background = BeautifyBackground::solid(PaintColor(0.16, 0.16, 0.19, 1.0)); });
}

void BeautifyOptionsPanel::chooseGradientBackground()
{
    m_message->hide();
    update([](BeautifyConfig& c) {
        c.background = BeautifyBackground::gradient(
            {PaintColor(0.0, 0.48, 1.0, 1.0), PaintColor(0.69, 0.32, 0.87, 1.0)}, 45);
    });
}

void BeautifyOptionsPanel::chooseWallpaperBackground()
{
    m_message->hide();
    update([](BeautifyConfig& c) { c.background = BeautifyBackground::wallpaper(); });
}

bool BeautifyOptionsPanel::chooseCustomImage(const QByteArray& bytes)
{
    QString refusal;
    if (bytes.size() > maximumCustomImageBytes) {
        refusal = QStringLiteral("Das Bild ist zu groß (höchstens 50 MB).");
    } else {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        if (!reader.canRead() || reader.size().isEmpty())
            refusal = QStringLiteral("Die Datei ist kein lesbares Bild.");
    }
    if (!refusal.isEmpty()) {
        m_message->setText(refusal);
        m_message->show();
        return false;
    }
    m_message->hide();
    update([&](BeautifyConfig& c) { c.background = BeautifyBackground::customImage(bytes); });
    return true;
}

void BeautifyOptionsPanel::presentCustomImagePicker()
{
    // The dialog belongs to the editor window, so it opens in front of it.
    auto* dialog = new QFileDialog(window(), QStringLiteral("Bild auswählen"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(QStringLiteral("Bilder (*.png *.jpg *.jpeg *.gif *.bmp *.webp *.tif *.tiff)"));
    QPointer<BeautifyOptionsPanel> self(this);
    connect(dialog, &QFileDialog::fileSelected, this, [self](const QString& path) {
        if (!self)
            return;
        QFile file(path);
        if (file.size() > maximumCustomImageBytes) {
            self->m_message->setText(QStringLiteral("Das Bild ist zu groß (höchstens 50 MB)."));
            self->m_message->show();
            return;
        }
        if (!file.open(QIODevice::ReadOnly))
            return;
        self->chooseCustomImage(file.readAll());
    });
    dialog->open();
}

void BeautifyOptionsPanel::applyAspectPreset(BeautifyAspectPreset preset)
{
    const QSizeF canvas = m_document.canvasSize();
    update([&](BeautifyConfig& c) {
        c.aspectPreset = preset;
        if (preset == BeautifyAspectPreset::original)
            c.cropRect.reset();
        else
            c.cropRect = BeautifyGeometry::normalizedCropRect(preset, canvas);
    });
}

void BeautifyOptionsPanel::setPaddingFraction(double value)
{
    update([&](BeautifyConfig& c) { c.paddingFraction = value; });
}

void BeautifyOptionsPanel::setCornerRadiusFraction(double value)
{
    update([&](BeautifyConfig& c) { c.cornerRadiusFraction = value; });
}

void BeautifyOptionsPanel::setShadowEnabled(bool enabled)
{
    update([&](BeautifyConfig& c) { c.shadow.isEnabled = enabled; });
}

void BeautifyOptionsPanel::setShadowStrength(double value)
{
    update([&](BeautifyConfig& c) { c.shadow.strength = value; });
}

void BeautifyOptionsPanel::setSolidColor(const PaintColor& color)
{
    update([&](BeautifyConfig& c) { c.background = BeautifyBackground::solid(color); });
}

void BeautifyOptionsPanel::setGradientColor(int index, const PaintColor& color)
{
    update([&](BeautifyConfig& c) {
        if (c.background.kind != BeautifyBackground::Kind::gradient || index < 0
            || index >= int(c.background.colors.size()))
            return;
        auto colors = c.background.colors;
        colors[std::size_t(index)] = color;
        c.background = BeautifyBackground::gradient(colors, c.background.angle);
    });
}

void BeautifyOptionsPanel::pickColor(const PaintColor& current, const std::function<void(const PaintColor&)>& apply)
{
    auto* dialog = new QColorDialog(current.toQColor(), window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    QPointer<BeautifyOptionsPanel> self(this);
    connect(dialog, &QColorDialog::currentColorChanged, this, [self, apply](const QColor& color) {
        if (self)
            apply(PaintColor(color));
    });
    dialog->open();
}

QString BeautifyOptionsPanel::messageText() const
{
    return m_message->isHidden() ? QString() : m_message->text();
}

void BeautifyOptionsPanel::refresh()
{
    m_refreshing = true;
    const BeautifyConfig& c = m_document.beautifyConfig();
    m_enable->setChecked(c.isEnabled);
    m_details->setVisible(c.isEnabled);
    const auto kind = c.background.kind;
    const BeautifyBackground::Kind kinds[4] = {BeautifyBackground::Kind::solid, BeautifyBackground::Kind::gradient,
        BeautifyBackground::Kind::wallpaper, BeautifyBackground::Kind::customImage};
    for (int i = 0; i < 4; ++i)
        static_cast<EditorButton*>(m_backgroundButtons[std::size_t(i)])->setActive(kind == kinds[i]);
    const QColor ring(255, 255, 255, 60);
    m_solidRow->setVisible(kind == BeautifyBackground::Kind::solid);
    if (kind == BeautifyBackground::Kind::solid)
        static_cast<EditorButton*>(m_solidSwatch)->setSwatch(c.background.color.toQColor(), ring, 1);
    const bool twoColours = kind == BeautifyBackground::Kind::gradient && c.background.colors.size() > 1;
    m_gradientRow->setVisible(twoColours);
    if (twoColours)
        for (int i = 0; i < 2; ++i)
            static_cast<EditorButton*>(m_gradientSwatches[i])
                ->setSwatch(c.background.colors[std::size_t(i)].toQColor(), ring, 1);
    toSlider(m_padding, c.paddingFraction, 0, BeautifyConfig::maximumPaddingFraction);
    toSlider(m_radius, c.cornerRadiusFraction, 0, BeautifyConfig::maximumCornerRadiusFraction);
    m_shadow->setChecked(c.shadow.isEnabled);
    m_shadowStrength->setVisible(c.shadow.isEnabled);
    toSlider(m_shadowStrength, c.shadow.strength, BeautifyConfig::minimumShadowStrength,
        BeautifyConfig::maximumShadowStrength);
    const BeautifyAspectPreset selected = c.aspectPreset.value_or(BeautifyAspectPreset::original);
    const auto& presets = BeautifyAspectPresets::allCases();
    for (std::size_t i = 0; i < m_aspectChips.size(); ++i)
        static_cast<EditorButton*>(m_aspectChips[i])->setActive(presets[i] == selected);
    m_refreshing = false;
}
