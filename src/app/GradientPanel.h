#pragma once

// A panel that paints a gradient from a start colour through a middle colour to an end colour,
// top to bottom. The windows' controls stand on these panels.

#include <QColor>
#include <QWidget>

namespace pelmira::app {

class GradientPanel : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor startColor READ startColor)
    Q_PROPERTY(QColor middleColor READ middleColor)
    Q_PROPERTY(QColor endColor READ endColor)

public:
    GradientPanel(QColor start, QColor middle, QColor end, QWidget* parent = nullptr);

    QColor startColor() const { return start_; }
    QColor middleColor() const { return middle_; }
    QColor endColor() const { return end_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor start_, middle_, end_;
};

} // namespace pelmira::app
