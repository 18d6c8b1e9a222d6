#include "CheckRun.h"
#include "CheckerAboutWindow.h"
#include "HomeTest.h"
#include "Layout.h"
#include "ShownText.h"
#include "SplashWindow.h"
#include "StatusWindow.h"
#include "StatusWindowHost.h"
#include "Store.h"

#include <QtTest>

namespace
{

// The font a label shows, after its style sheet has been applied.
QFont shownFont(QWidget *widget)
{
    widget->ensurePolished();
    return widget->font();
}

// The first widget that Tab reaches in a window.
QWidget *firstInTabOrder(QWidget *window)
{
    for (QWidget *w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            return w;
    }
    return nullptr;
}

// A status window over the test's store and a run state of its own.
struct StatusBench {
    Store store;
    RunState state;
    StatusWindowHost status{store};
    StatusBench() { status.attach(state); }
};

} // namespace

class TestCheckerWindows : public HomeTest
{
    Q_OBJECT

private slots:

    void statusDesignTexts_data();
    void statusDesignTexts();
    void statusLayout();
    void statusLoadShowsCountAndDate_data();
    void statusLoadShowsCountAndDate();
    void writeLoadsStatusHidden();
    void hiddenStatusTakesTheLastTexts();
    void closeDebugHidesAndKeepsTexts();
    void activateRefreshesCountAndDate();
    void closeBoxUnloadsStatus();
    void statusShowsTextsAsWritten_data();
    void statusShowsTextsAsWritten();
    void splashDesign();
    void aboutDesign();
};

void TestCheckerWindows::statusDesignTexts_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::newRow("Label3") << "Label3"
                            << "- Nothing will happen until 60 seconds have passed since start -";
    QTest::newRow("Label1") << "Label1"
                            << "Processing:";
    QTest::newRow("Label2") << "Label2"
                            << "Connection Retry:";
    QTest::newRow("Command1") << "Command1"
                              << "Close Debug";
}

void TestCheckerWindows::statusDesignTexts()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    Store store;
    RunState state;
    StatusWindow form(store, state);
    QCOMPARE(form.windowTitle(), QStringLiteral("Debug Window"));
    QWidget *widget = form.findChild<QWidget *>(control);
    QVERIFY(widget);
    QCOMPARE(widget->property("text").toString(), text);
    QVERIFY(form.ui.Text1->toPlainText().isEmpty());
}

void TestCheckerWindows::statusLayout()
{
    Store store;
    RunState state;
    StatusWindow form(store, state);
    QCOMPARE(form.size(), QSize(306, 331));
    QCOMPARE(form.ui.Label3->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    // The top line takes the whole width, which its text needs.
    QCOMPARE(form.ui.Label3->geometry(), QRect(0, 6, 306, 17));
    QCOMPARE(form.ui.Text1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(firstInTabOrder(&form), form.ui.Text1);
    // Top to bottom: Label3, Label1, Label2, Label4, Label5, Text1, Command1.
    const QList<QWidget *> order{form.ui.Label3, form.ui.Label1, form.ui.Label2,  form.ui.Label4,
                                 form.ui.Label5, form.ui.Text1,  form.ui.Command1};
    for (qsizetype i = 1; i < order.size(); ++i)
        QVERIFY(order[i]->geometry().top() >= order[i - 1]->geometry().bottom());
    QCOMPARE(form.ui.Command1->geometry().center().x(), form.rect().center().x());
}

void TestCheckerWindows::statusLoadShowsCountAndDate_data()
{
    QTest::addColumn<int>("checks");
    QTest::addColumn<QString>("checkDate");
    QTest::addColumn<QString>("label4");
    QTest::addColumn<QString>("label5");
    QTest::newRow("before any run") << 0 << QString() << "Checks Since Start: 0"
                                    << "Last Check Date: ";
    QTest::newRow("after runs") << 12 << "03-14-2026"
                                << "Checks Since Start: 12"
                                << "Last Check Date: 03-14-2026";
    QTest::newRow("date as stored") << 1 << "garbage"
                                    << "Checks Since Start: 1"
                                    << "Last Check Date: garbage";
}

void TestCheckerWindows::statusLoadShowsCountAndDate()
{
    QFETCH(int, checks);
    QFETCH(QString, checkDate);
    QFETCH(QString, label4);
    QFETCH(QString, label5);
    Store store;
    if (!checkDate.isEmpty())
        QVERIFY(store.write(layout::Settings, layout::CheckDate, checkDate));
    RunState state;
    state.checksSinceStart = qint16(checks);
    StatusWindow form(store, state);
    QCOMPARE(form.ui.Label4->text(), label4);
    QCOMPARE(form.ui.Label5->text(), label5);
}

void TestCheckerWindows::writeLoadsStatusHidden()
{
    StatusBench bench;
    auto &[store, state, status] = bench;
    state.checksSinceStart = 3;
    QVERIFY(!status.isLoaded());
    status.setProcessing(QStringLiteral("Processing: Page 1"));
    QVERIFY(status.isLoaded());
    QVERIFY(!status.form()->isVisible());
    QCOMPARE(status.form()->ui.Label1->text(), QStringLiteral("Processing: Page 1"));
    // Loading filled the counter before the write.
    QCOMPARE(status.form()->ui.Label4->text(), QStringLiteral("Checks Since Start: 3"));
    status.setPageText("line one\nline two");
    QCOMPARE(status.form()->ui.Text1->toPlainText(), QStringLiteral("line one\nline two"));
}

// Writes to a hidden window make no widget; it is made when shown or looked
// at, Load first, then the last text written to each control.
void TestCheckerWindows::hiddenStatusTakesTheLastTexts()
{
    const auto statusForms = [] {
        int forms = 0;
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows)
            forms += qobject_cast<StatusWindow *>(window) ? 1 : 0;
        return forms;
    };
    StatusBench bench;
    auto &[store, state, status] = bench;
    QVERIFY(store.write(layout::Settings, layout::CheckDate, QStringLiteral("03-14-2026")));
    state.checksSinceStart = 9;
    status.setChecksSinceStart(QStringLiteral("Checks Since Start: 4"));
    status.setProcessing(QStringLiteral("Processing: Page 1"));
    status.setPageText("first page");
    status.setProcessing(QStringLiteral("Processing: Page 2"));
    status.setPageText("second page");
    QVERIFY(status.isLoaded());
    QCOMPARE(statusForms(), 0);

    StatusWindow *form = status.form();
    QCOMPARE(statusForms(), 1);
    QVERIFY(!form->isVisible());
    // Written after Load's count.
    QCOMPARE(form->ui.Label4->text(), QStringLiteral("Checks Since Start: 4"));
    QCOMPARE(form->ui.Label1->text(), QStringLiteral("Processing: Page 2"));
    QCOMPARE(form->ui.Label2->text(), QStringLiteral("Connection Retry:"));
    QCOMPARE(form->ui.Text1->toPlainText(), QStringLiteral("second page"));
    QCOMPARE(form->ui.Label5->text(), QStringLiteral("Last Check Date: 03-14-2026"));

    // Shown, then hidden again with Close Debug: the next run's texts wait for the next
    // showing, which brings the last of them.
    status.show();
    QTest::mouseClick(form->ui.Command1, Qt::LeftButton);
    QVERIFY(!form->isVisible());
    status.setConnectionRetry(QStringLiteral("Connection Retry: 1"));
    status.setPageText("third page");
    status.setConnectionRetry(QStringLiteral("Connection Retry: "));
    status.setPageText("fourth page");
    status.show();
    QCOMPARE(status.form(), form);
    QCOMPARE(form->ui.Label2->text(), QStringLiteral("Connection Retry: "));
    QCOMPARE(form->ui.Text1->toPlainText(), QStringLiteral("fourth page"));
    // Shown, each text arrives at once.
    status.setPageText("fifth page");
    QCOMPARE(form->ui.Text1->toPlainText(), QStringLiteral("fifth page"));
}

void TestCheckerWindows::closeDebugHidesAndKeepsTexts()
{
    StatusBench bench;
    auto &[store, state, status] = bench;
    status.show();
    StatusWindow *form = status.form();
    QVERIFY(form->isVisible());
    status.setProcessing(QStringLiteral("Processing: Page 2"));
    status.setConnectionRetry(QStringLiteral("Connection Retry: 2"));
    status.setPageText("the page text");

    QTest::mouseClick(form->ui.Command1, Qt::LeftButton);
    QVERIFY(!form->isVisible());
    QVERIFY(status.isLoaded());
    status.show();
    QCOMPARE(status.form(), form);
    QVERIFY(form->isVisible());
    QCOMPARE(form->ui.Label1->text(), QStringLiteral("Processing: Page 2"));
    QCOMPARE(form->ui.Label2->text(), QStringLiteral("Connection Retry: 2"));
    QCOMPARE(form->ui.Text1->toPlainText(), QStringLiteral("the page text"));
}

void TestCheckerWindows::activateRefreshesCountAndDate()
{
    StatusBench bench;
    auto &[store, state, status] = bench;
    status.show();
    StatusWindow *form = status.form();
    QTRY_VERIFY(form->isActiveWindow());
    QCOMPARE(form->ui.Label4->text(), QStringLiteral("Checks Since Start: 0"));

    QTest::mouseClick(form->ui.Command1, Qt::LeftButton);
    state.checksSinceStart = 5;
    QVERIFY(store.write(layout::Settings, layout::CheckDate, QStringLiteral("03-15-2026")));
    QCOMPARE(form->ui.Label4->text(), QStringLiteral("Checks Since Start: 0"));
    // Another window takes the focus meanwhile.
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_VERIFY(other.isActiveWindow());
    status.show();
    QTRY_COMPARE(form->ui.Label4->text(), QStringLiteral("Checks Since Start: 5"));
    QCOMPARE(form->ui.Label5->text(), QStringLiteral("Last Check Date: 03-15-2026"));
}

void TestCheckerWindows::closeBoxUnloadsStatus()
{
    StatusBench bench;
    auto &[store, state, status] = bench;
    status.show();
    status.setProcessing(QStringLiteral("Processing: Page 1"));
    status.setPageText("the page text");
    QPointer<StatusWindow> first = status.form();
    QVERIFY(first->close());
    QVERIFY(!status.isLoaded());
    QTRY_VERIFY(first.isNull());

    state.checksSinceStart = 2;
    status.show();
    StatusWindow *again = status.form();
    QCOMPARE(again->ui.Label1->text(), QStringLiteral("Processing:"));
    QCOMPARE(again->ui.Label2->text(), QStringLiteral("Connection Retry:"));
    QVERIFY(again->ui.Text1->toPlainText().isEmpty());
    QCOMPARE(again->ui.Label4->text(), QStringLiteral("Checks Since Start: 2"));
}

void TestCheckerWindows::statusShowsTextsAsWritten_data()
{
    addMarkupRows();
    // The page text comes as UTF-8: a byte-order mark at its start is text.
    QTest::newRow("byte-order mark first, beyond ASCII")
        << QStringLiteral("\ufeffGrüße aus Köln, 日本, 😀");
}

// A description, a stored date and a page text that look like markup show as
// they are written.
void TestCheckerWindows::statusShowsTextsAsWritten()
{
    QFETCH(QString, text);
    StatusBench bench;
    auto &[store, state, status] = bench;
    QVERIFY(store.write(layout::Settings, layout::CheckDate, text));
    status.setProcessing(QStringLiteral("Processing: ") + text);
    status.setPageText(text.toUtf8());
    status.show();
    StatusWindow *form = status.form();
    QCOMPARE(shownText(form->ui.Label1), QStringLiteral("Processing: ") + text);
    QCOMPARE(shownText(form->ui.Label5), QStringLiteral("Last Check Date: ") + text);
    QCOMPARE(form->ui.Text1->toPlainText(), text);
}

void TestCheckerWindows::splashDesign()
{
    SplashWindow form;
    QCOMPARE(form.size(), QSize(265, 209));
    QVERIFY(form.windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(form.ui.Label1->text(), QStringLiteral("Quorlin "));
    QCOMPARE(form.ui.Label2->text(), QStringLiteral("Initializing..."));
    QCOMPARE(form.ui.Image1->pixmap().size(), QSize(249, 46));

    const QFont title = shownFont(form.ui.Label1);
    QCOMPARE(title.family(), QStringLiteral("Times New Roman"));
    QCOMPARE(title.pointSizeF(), 12.0);
    QVERIFY(title.bold());
    const QFont status = shownFont(form.ui.Label2);
    QCOMPARE(status.family(), QStringLiteral("Times New Roman"));
    QCOMPARE(status.pointSizeF(), 9.75);
    QVERIFY(!status.bold());
    QCOMPARE(form.ui.Label1->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    QCOMPARE(form.ui.Label2->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);

    // The frame: four one-pixel lines along the edges.
    const QRect edges[] = {QRect(0, 0, 265, 1), QRect(0, 208, 265, 1), QRect(0, 0, 1, 209),
                           QRect(264, 0, 1, 209)};
    const QFrame *lines[] = {form.ui.Line1, form.ui.Line2, form.ui.Line3, form.ui.Line4};
    for (int i = 0; i < 4; ++i)
        QCOMPARE(lines[i]->geometry(), edges[i]);
    // The rule lies between the title and the status line.
    QVERIFY(form.ui.Line5->geometry().top() > form.ui.Label1->geometry().bottom());
    QVERIFY(form.ui.Line5->geometry().bottom() < form.ui.Label2->geometry().top());
}

void TestCheckerWindows::aboutDesign()
{
    CheckerAboutWindow form;
    QCOMPARE(form.size(), QSize(316, 352));
    QCOMPARE(form.windowTitle(), QStringLiteral("About Quorlin"));
    QCOMPARE(form.ui.Label1->text(), QStringLiteral("Quorlin "));
    const QFont title = shownFont(form.ui.Label1);
    QCOMPARE(title.family(), QStringLiteral("Times New Roman"));
    QCOMPARE(title.pointSizeF(), 26.25);
    QVERIFY(title.bold());
    QCOMPARE(form.ui.Image1->pixmap().size(), QSize(249, 46));
    QVERIFY(!form.windowIcon().isNull());
    QCOMPARE(form.ui.Command1->text(), QStringLiteral("Close About"));
    QVERIFY(form.ui.Line1->geometry().top() > form.ui.Label1->geometry().bottom());

    form.show();
    QTest::mouseClick(form.ui.Command1, Qt::LeftButton);
    QVERIFY(!form.isVisible());
}

QTEST_MAIN(TestCheckerWindows)
#include "tst_checkerwindows.moc"
