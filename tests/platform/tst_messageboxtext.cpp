#include "MessageBoxes.h"
#include "ShownText.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

// The message boxes themselves, shown for real: whatever the user typed into
// a description or a URL appears in them as written.
class TestMessageBoxText : public QObject
{
    Q_OBJECT

private slots:
    void textShowsAsWritten_data();
    void textShowsAsWritten();
};

void TestMessageBoxText::textShowsAsWritten_data()
{
    addMarkupRows();
}

void TestMessageBoxText::textShowsAsWritten()
{
    QFETCH(QString, text);
    QString shown;
    bool answered = false;
    // Reads the open box and answers it; the box is the modal widget while it waits.
    QTimer reader;
    connect(&reader, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = shownText(box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")));
        answered = true;
        box->button(QMessageBox::No)->click();
    });
    reader.start(20);
    MessageBoxes boxes;
    const Answer answer = boxes.ask({PromptKind::YesNoInformation, QStringLiteral("Site Updated:"),
                                     QStringLiteral("Action: ") + text});
    QVERIFY(answered);
    QCOMPARE(answer, Answer::No);
    QCOMPARE(shown, QStringLiteral("Action: ") + text);
}

QTEST_MAIN(TestMessageBoxText)
#include "tst_messageboxtext.moc"
