#include "TextFit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace
{

constexpr qreal DesignSize = 8.0;
const QString LongText =
    QStringLiteral("- Nothing will happen until 60 seconds have passed since start -");

// A control of the kind named, with the text, in a window of its own in
// Arial 8 pt; for a frame caption the frame holds a label.
QWidget *makeControl(QWidget *window, const QString &kind, const QString &text)
{
    if (kind == "frame") {
        auto *frame = new QGroupBox(text, window);
        (new QLabel(QStringLiteral("inside"), frame))->setObjectName(QStringLiteral("inside"));
        return frame;
    }
    if (kind == "button")
        return new QPushButton(text, window);
    if (kind == "check box")
        return new QCheckBox(text, window);
    auto *label = new QLabel(text, window);
    label->setWordWrap(kind == "wrapping label");
    return label;
}

} // namespace

class TestTextFit : public QObject
{
    Q_OBJECT

private slots:
    void stepsToTheLargestSizeThatFits_data();
    void stepsToTheLargestSizeThatFits();
};

void TestTextFit::stepsToTheLargestSizeThatFits_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("size"); // "design", "smaller" or "smallest"
    QTest::newRow("label that fits") << "label"
                                     << "Processing:" << 298 << "design";
    QTest::newRow("label a step short") << "label" << LongText << 306 << "smaller";
    QTest::newRow("label far too narrow") << "label" << LongText << 100 << "smallest";
    QTest::newRow("button") << "button"
                            << "Close About" << 64 << "smaller";
    QTest::newRow("check box") << "check box"
                               << "Always Connected (LAN/Cable/etc)" << 180 << "smaller";
    QTest::newRow("frame caption") << "frame"
                                   << "Live Help Display" << 70 << "smaller";
    QTest::newRow("wrapping label") << "wrapping label" << LongText << 100 << "design";
}

// A text that does not fit steps down to the largest size at which it fits,
// or to the smallest size; a frame's controls keep their font, and a label
// that wraps keeps its own.
void TestTextFit::stepsToTheLargestSizeThatFits()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(QString, size);
    QWidget window;
    window.setFont(QFont(QStringLiteral("Arial"), int(DesignSize)));
    QWidget *control = makeControl(&window, kind, text);
    control->setGeometry(0, 0, width, 40);

    textfit::fitTexts(&window);
    const qreal fitted = control->font().pointSizeF();
    if (size == "design") {
        QCOMPARE(fitted, DesignSize);
    } else if (size == "smallest") {
        QCOMPARE(fitted, textfit::SmallestPointSize);
        QVERIFY(!textfit::fits(control));
    } else {
        QVERIFY(fitted < DesignSize);
        QVERIFY(textfit::fits(control));
        QFont larger = control->font();
        larger.setPointSizeF(fitted + textfit::PointStep);
        control->setFont(larger);
        QVERIFY(!textfit::fits(control));
    }
    if (auto *inside = control->findChild<QLabel *>(QStringLiteral("inside")))
        QCOMPARE(inside->font().pointSizeF(), DesignSize);
}

QTEST_MAIN(TestTextFit)
#include "tst_textfit.moc"
