#pragma once

// Small helpers that build the windows' controls as they are stored: absolute places, stored
// object names, fonts with a fallback, colours and help context numbers.

#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>

class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace pelmira::app {

// The help context number is kept as the dynamic property "helpContext".
inline constexpr const char* kHelpContextProperty = "helpContext";
// The kind of a bitmap button: "confirm" or "close".
inline constexpr const char* kButtonKindProperty = "buttonKind";

void setHelpContext(QWidget* w, int context);
// The help context of `w`, or of the nearest ancestor that has one (0 when none has).
int helpContextOf(const QWidget* w);

// The family, or its substitute of the same metrics (Liberation Sans for Arial and "MS Sans
// Serif"), or else the platform's sans-serif.
QFont storedFont(const QString& family, int pointSize, bool bold = false);
// "MS Sans Serif" 8 point, the windows' own font.
QFont formFont();

// Stored colours of the windows.
inline const QColor kRed{255, 0, 0};
inline const QColor kMaroon{128, 0, 0};
inline const QColor kBlue{0, 0, 255};
inline const QColor kYellow{255, 255, 0};

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QPoint place);
QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QRect place,
                  bool wordWrap);
void setTextColor(QWidget* w, const QColor& color);
void setBold(QWidget* w);

// An editable drop-down list at its stored left, top and width; the height is the style's.
QComboBox* makeComboBox(QWidget* parent, const char* name, QPoint place, int width);

// A bitmap button of the confirm kind (check-mark glyph) or of the close kind.
QPushButton* makeConfirmButton(QWidget* parent, const char* name, const QString& caption,
                               QRect place);
QPushButton* makeCloseButton(QWidget* parent, const char* name, const QString& caption,
                             QRect place);

} // namespace pelmira::app
