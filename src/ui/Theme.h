#pragma once
#include <QColor>
#include <QFont>
#include <QString>
#include <optional>

// Colours, fonts and the style sheets of the recurring widgets, shared by every surface.
namespace Theme {

// ---- Colours ----
// Surface of the menu, the tool bars and the panels (grey 18/255).
QColor annotationSurface();
// Background of the annotation editor and of text fields (grey 13/255).
QColor annotationBase();
// Surface of popovers floating over a bar (the colour popover).
QColor popoverSurface();
// Surface of small dark chips such as the value pill under a slider.
QColor chipSurface();
QColor text();
QColor secondaryText();
// White at the given opacity (0–255): the hairlines, fills and tracks on the dark surfaces.
QColor whiteAlpha(int alpha);
// Black at the given opacity: scrims behind text drawn over a picture.
QColor blackAlpha(int alpha);
// An opaque neutral grey of the given level (0–255).
QColor grey(int level);
// The colour at the given opacity (0–255).
QColor withAlpha(QColor color, int alpha);
// Tint of the HUD material (the history panel, the gallery) and fill of the quick look panel.
QColor hudSurface();
// Tint of the popover material; the chip over a quick look picture.
QColor popoverTint();
// Tint of the sidebar material; base of the shelf's fields.
QColor sidebarSurface();
// Surface of the text selection popover.
QColor textPopoverSurface();
// Hairline between sections.
QColor separator();
// The palette's accent (the highlight colour installed by install()).
QColor accent();
// The system blue, where a surface wants it whatever the palette says (feedback forms).
QColor blue();
// Orange of warnings and failures shown in place (not as a dialog).
QColor warning();
// Orange of Final Cut Pro entries and of the editor's bend handle.
QColor orange();
// Red of destructive actions (delete, remove).
QColor destructive();
// Red of an error message written on a dark surface.
QColor errorText();
// Green of a confirmation (copied, sent).
QColor success();
// Red of a recording in progress (the tray icon, the control panel's dot).
QColor recording();
// Red of a short refusal written under a control (a shortcut that could not be taken).
QColor refusalText();
// Fill of a destructive dialog button, and its dimmed fill while disabled.
QColor destructiveFill();
QColor destructiveFillDisabled();
// Yellow of a caution sign.
QColor caution();
// The editor's selection handles and guides over the picture.
QColor selectionHandle();
QColor guide();

// ---- Fonts ----
// "Avenir Next" at the given point size; resolves to Lato where Avenir Next is not installed.
QFont labelFont(qreal pointSize = 13, QFont::Weight weight = QFont::Normal);

// ---- Style sheets ----
// "rgba(r,g,b,a)" of a colour, for style sheets.
QString css(const QColor& color);
// A hairline QFrame's style: a flat fill of colour.
QString separatorStyle(const QColor& color = separator());
// A label's style: text colour on a transparent background.
QString labelStyle(const QColor& color);
// Neutral push buttons (translucent white on the dark surfaces) matching `selector`, with the
// given padding.
QString buttonStyle(const QString& selector = QStringLiteral("QPushButton"),
    const QString& padding = QStringLiteral("4px 14px"));
// The one prominent button of a form (accent fill; dimmed when disabled).
QString prominentButtonStyle(const QString& selector, const QColor& fill = blue());
// Text fields (line and plain text edits) matching `selector`: base background, hairline
// border that turns to the accent with the focus.
QString fieldStyle(const QString& selector, const QColor& focus = blue());
// A popover's frame: its surface with a hairline border and round corners.
QString popoverStyle(const QString& selector, const QColor& surface = popoverSurface());
// A button without frame or fill (icon buttons); with a valid hover colour it shows a rounded
// fill under the pointer.
QString flatButtonStyle(const QString& selector = QStringLiteral("QToolButton"), const QColor& hover = QColor());
// A flat fill and nothing else (dividers).
QString backgroundStyle(const QColor& color);
// Widgets drawn as their content alone: no fill, border or padding.
QString bareStyle(const QString& selector);
// Text of the colour on no fill (read-only text views).
QString transparentTextStyle(const QString& selector, const QColor& color = text());
// A button without frame or fill whose text has the colour.
QString flatTextButtonStyle(const QString& selector, const QColor& color);
// A button without border whose text has the colour (its fill left to the style).
QString borderlessTextButtonStyle(const QString& selector, const QColor& color);
// A tab of a segmented switcher: its text colour and its fill (transparent when none), round
// corners.
QString tabButtonStyle(const QColor& color, const std::optional<QColor>& fill);
// A flat fill with round corners (pills, key caps, fields of the settings).
QString fillStyle(const QColor& color, int radius);
// A push button filled with one colour, white text, no border.
QString filledButtonStyle(const QColor& fill, const QString& padding, const QString& selector = QStringLiteral("QPushButton"));
// The dialog button that destroys data: red fill, dimmed while disabled.
QString destructiveButtonStyle(const QString& selector = QStringLiteral("QPushButton"));
// A push button with a translucent fill and a hairline border that brightens under the pointer.
QString borderedButtonStyle(const QString& padding = QStringLiteral("5px 12px"));
// A push button whose text, fill and 1.5 px outline tell its state (the shortcut recorder).
QString outlinedButtonStyle(const QColor& text, const QColor& fill, const QColor& outline);
// A push button drawn as its text alone (links, "Fertig"); `pressed` recolours it while held.
QString textButtonStyle(const QColor& color, const QString& padding, const QColor& pressed = QColor());
// A rounded pill of white text on a translucent fill (key caps, the settings' text fields).
QString pillStyle(const QString& selector, qreal opacity, const QString& padding, int radius = 6);
// A row of segment buttons: translucent fill, stronger when checked.
QString segmentStyle(const QString& selector = QStringLiteral("QPushButton"));
// The tray menu: surface, hairline border, rounded highlight of the hovered item.
QString menuStyle();
// A popup list of choices (timer menu) with the given frame selector.
QString popupListStyle(const QString& frameSelector);
// A transparent scroll area with a thin vertical scroll bar (the settings pages).
QString scrollAreaStyle();
// Horizontal sliders of the editor: thin track, accent fill, round white knob.
QString sliderStyle();
// Check boxes with a small rounded indicator filled with the accent when checked.
QString checkBoxStyle();
// Thin vertical scroll bars of the dark forms.
QString scrollBarStyle(int width = 6);
// The thin dark scroll bar of the lists and grids over the dark windows (the history list, the
// gallery): a faint handle, no arrow buttons, nothing drawn under it.
QString listScrollBarStyle();

// Installs the font substitution and the application's dark palette. Call once after the
// QApplication exists.
void install();
}
