#include "app/FormKit.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QStyle>

namespace pelmira::app {

void setHelpContext(QWidget* w, int context) {
    w->setProperty(kHelpContextProperty, context);
}

int helpContextOf(const QWidget* w) {
    for (; w; w = w->parentWidget()) {
        bool ok = false;
        const int context = w->property(kHelpContextProperty).toInt(&ok);
        if (ok && context != 0)
            return context;
    }
    return 0;
}

namespace {

// Liberation Sans, which the packages depend on, has the metrics of Arial: it stands for Arial
// where Arial is not installed, and for "MS Sans Serif" (a Windows bitmap face) everywhere, so
// that the captions fit their stored places the same on every machine.
void addSubstitutes() {
    static const bool added = [] {
        const QStringList arialLike{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                    QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")};
        QFont::insertSubstitutions(QStringLiteral("Arial"), arialLike);
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), arialLike);
        return true;
    }();
    (void)added;
}

} // namespace

QFont storedFont(const QString& family, int pointSize, bool bold) {
    // A family that is not installed is replaced by a substitute of the same metrics when there
    // is one, else by the platform's sans-serif.
    addSubstitutes();
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(pointSize);
    font.setBold(bold);
    return font;
}

QFont formFont() {
    return storedFont(QStringLiteral("MS Sans Serif"), 8);
}

void setTextColor(QWidget* w, const QColor& color) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::ButtonText, color);
    w->setPalette(palette);
}

void setBold(QWidget* w) {
    QFont font = w->font();
    font.setBold(true);
    w->setFont(font);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QPoint place) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(place);
    label->adjustSize();
    return label;
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& caption, QRect place,
                  bool wordWrap) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(wordWrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(place);
    return label;
}

QComboBox* makeComboBox(QWidget* parent, const char* name, QPoint place, int width) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setGeometry(place.x(), place.y(), width, box->sizeHint().height());
    return box;
}

namespace {

QPushButton* makeBitmapButton(QWidget* parent, const char* name, const QString& caption,
                              QRect place, QStyle::StandardPixmap glyph, const char* kind) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(button->style()->standardIcon(glyph, nullptr, button));
    button->setProperty(kButtonKindProperty, QString::fromLatin1(kind));
    button->setGeometry(place);
    return button;
}

} // namespace

QPushButton* makeConfirmButton(QWidget* parent, const char* name, const QString& caption,
                               QRect place) {
    return makeBitmapButton(parent, name, caption, place, QStyle::SP_DialogApplyButton, "confirm");
}

QPushButton* makeCloseButton(QWidget* parent, const char* name, const QString& caption,
                             QRect place) {
    return makeBitmapButton(parent, name, caption, place, QStyle::SP_DialogCloseButton, "close");
}

} // namespace pelmira::app
