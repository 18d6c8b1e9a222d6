#include "ConfigTestTools.h"
#include "EditorState.h"
#include "Figures.h"
#include "HomeTest.h"
#include "ScriptedPrompts.h"
#include "SettingsDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QtTest>

using namespace configtest;

namespace
{

const QString ErrorTitle = QStringLiteral("Error:");
const QString AddressMissing = QStringLiteral("Please Enter Firewall/Proxy Address(IP)!");
const QString PortMissing = QStringLiteral("Please Enter Firewall/Proxy Port Number!");
const QString HourlyNote = QStringLiteral("Quorlin will now check for updates every 1 hour.\r\n"
                                          "This will take up some more bandwidth.");
const QStringList ProxyFields = {QStringLiteral("Label1"), QStringLiteral("Label2"),
                                 QStringLiteral("Text1"), QStringLiteral("Text2")};

QCheckBox *box(QWidget *dialog, const QString &name)
{
    return child<QCheckBox>(dialog, name);
}

QLineEdit *text(QWidget *dialog, const QString &name)
{
    return child<QLineEdit>(dialog, name);
}

// Whether all four proxy fields are enabled (true) or all disabled (false);
// fails the test when they differ.
bool proxyFieldsEnabled(QWidget *dialog)
{
    const bool first = child<QWidget>(dialog, ProxyFields.first())->isEnabled();
    for (const QString &name : ProxyFields) {
        if (child<QWidget>(dialog, name)->isEnabled() != first)
            qFatal("proxy fields differ at %s", qPrintable(name));
    }
    return first;
}

void writeSetting(const QString &key, const QString &value)
{
    Store store;
    if (!store.write(layout::Settings, key, value))
        qFatal("could not write the store");
}

QString setting(const QString &key, const QString &fallback = QStringLiteral("<absent>"))
{
    return Store().read(layout::Settings, key, fallback);
}

} // namespace

class TestSettingsDialog : public HomeTest
{
    Q_OBJECT

private slots:
    void windowDesign();
    void controlGeometry_data();
    void controlGeometry();
    void tabOrder();
    void enterAndEscapeDoNothing();
    void emptyStoreShowsDefaults();
    void storedOptionsAreShown();
    void proxyBoxSwitchesFields();
    void saveAsksForAddressThenPort();
    void saveWithProxyOffKeepsEmptyFields();
    void saveWithoutChangeWritesAllOptions();
    void limitBoxClearedShowsNote();
    void cancelWritesNothing();
    void showReloadsAfterCancel_data();
    void showReloadsAfterCancel();
    void storedClearLimitNotesWhileComingUp();
    void closeBoxDiscardsDialog();
    void unusableStoredValues_data();
    void unusableStoredValues();
    void failedSaveIsReported_data();
    void failedSaveIsReported();

private:
    // Presses "Setup" and returns the dialog it brings up.
    SettingsDialog *openSetup(ActionListWindow &listWindow);
};

SettingsDialog *TestSettingsDialog::openSetup(ActionListWindow &listWindow)
{
    click(&listWindow, QStringLiteral("Command6"));
    SettingsDialog *dialog = listWindow.settingsWindow();
    if (!dialog)
        qFatal("no settings dialog");
    return dialog;
}

void TestSettingsDialog::windowDesign()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QVERIFY(dialog->isVisible());
    QVERIFY(!listWindow.isEnabled());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Quorlin Settings"));
    QCOMPARE(dialog->size(), QSize(274, 245));
    QVERIFY(!dialog->windowIcon().isNull());
    QCOMPARE(dialog->windowIcon().cacheKey(), listWindow.windowIcon().cacheKey());
    const QRect area = dialog->screen()->availableGeometry();
    // Centred up to the width of the window's frame.
    QVERIFY(qAbs(dialog->geometry().center().x() - area.center().x()) <= 3);
    QVERIFY(qAbs(dialog->geometry().center().y() - area.center().y()) <= 3);

    QCOMPARE(child<QGroupBox>(dialog, QStringLiteral("Frame1"))->title(),
             QStringLiteral("Proxy / Firewall"));
    QCOMPARE(child<QGroupBox>(dialog, QStringLiteral("Frame2"))->title(),
             QStringLiteral("Options"));
    QCOMPARE(child<QGroupBox>(dialog, QStringLiteral("Frame3"))->title(),
             QStringLiteral("Live Help Display"));
    QCOMPARE(child<QGroupBox>(dialog, QStringLiteral("Frame4"))->title(), QString());
    QCOMPARE(box(dialog, QStringLiteral("Check1"))->text(),
             QStringLiteral("Use HTTP Proxy / Firewall"));
    QCOMPARE(box(dialog, QStringLiteral("Check3"))->text(),
             QStringLiteral("Limit checking to a maximum of one check/day"));
    QCOMPARE(box(dialog, QStringLiteral("Check2"))->text(),
             QStringLiteral("Always Connected (LAN/Cable/etc)"));
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label1"))->text(), QStringLiteral("Address"));
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label2"))->text(), QStringLiteral("Port"));
    QCOMPARE(child<QLabel>(dialog, QStringLiteral("Label3"))->text(),
             QStringLiteral("Move the mouse over an object to get help."));
    for (const QString &name : {QStringLiteral("Command1"), QStringLiteral("Command2")}) {
        auto *button = child<QPushButton>(dialog, name);
        QVERIFY(!button->isDefault());
        QVERIFY(!button->autoDefault());
    }
    QCOMPARE(child<QPushButton>(dialog, QStringLiteral("Command1"))->text(),
             QStringLiteral("Save"));
    QCOMPARE(child<QPushButton>(dialog, QStringLiteral("Command2"))->text(),
             QStringLiteral("Cancel"));

    // "Setup" again while it is hidden brings up the same window.
    click(dialog, QStringLiteral("Command2"));
    QCOMPARE(openSetup(listWindow), dialog);
}

void TestSettingsDialog::controlGeometry_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("Frame1") << "Frame1"
                            << "Form3" << QRect(0, 0, 273, 81);
    QTest::newRow("Check1") << "Check1"
                            << "Frame1" << QRect(8, 24, 153, 13);
    QTest::newRow("Text1") << "Text1"
                           << "Frame1" << QRect(8, 54, 129, 19);
    QTest::newRow("Text2") << "Text2"
                           << "Frame1" << QRect(144, 54, 33, 19);
    QTest::newRow("Frame2") << "Frame2"
                            << "Form3" << QRect(0, 81, 273, 56);
    QTest::newRow("Check3") << "Check3"
                            << "Frame2" << QRect(8, 16, 257, 17);
    QTest::newRow("Check2") << "Check2"
                            << "Frame2" << QRect(8, 32, 241, 17);
    QTest::newRow("Label3") << "Label3"
                            << "Frame3" << QRect(8, 16, 257, 25);
    QTest::newRow("Frame4") << "Frame4"
                            << "Form3" << QRect(0, 192, 273, 49);
    QTest::newRow("Command2") << "Command2"
                              << "Frame4" << QRect(176, 16, 73, 25);
}

void TestSettingsDialog::controlGeometry()
{
    QFETCH(QString, control);
    QFETCH(QString, container);
    QFETCH(QRect, geometry);
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    auto *widget = child<QWidget>(dialog, control);
    QCOMPARE(widget->parentWidget()->objectName(), container);
    QCOMPARE(widget->geometry(), geometry);
}

// Tab goes proxy box, address, port, Save, Cancel, limit box, always box.
void TestSettingsDialog::tabOrder()
{
    writeSetting(layout::Fw, QStringLiteral("1"));
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    const QStringList order = {"Check1",   "Text1",  "Text2", "Command1",
                               "Command2", "Check3", "Check2"};
    child<QWidget>(dialog, order.first())->setFocus(Qt::TabFocusReason);
    QStringList visited = {QApplication::focusWidget()->objectName()};
    for (int i = 1; i < order.size() + 1; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.append(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(visited, order + QStringList{order.first()});
}

// Neither button is the dialog's default or cancel button.
void TestSettingsDialog::enterAndEscapeDoNothing()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QVERIFY(QTest::qWaitForWindowActive(dialog));
    const auto before = storeContents();
    for (const QString &name : {QStringLiteral("Check3"), QStringLiteral("Check2")}) {
        child<QWidget>(dialog, name)->setFocus();
        QTest::keyClick(child<QWidget>(dialog, name), Qt::Key_Return);
        QTest::keyClick(child<QWidget>(dialog, name), Qt::Key_Enter);
        QTest::keyClick(child<QWidget>(dialog, name), Qt::Key_Escape);
    }
    QVERIFY(dialog->isVisible());
    QVERIFY(!listWindow.isEnabled());
    QCOMPARE(storeContents(), before);
    QVERIFY(script->boxes.isEmpty());
}

void TestSettingsDialog::emptyStoreShowsDefaults()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QCOMPARE(text(dialog, QStringLiteral("Text1"))->text(), QString());
    QCOMPARE(text(dialog, QStringLiteral("Text2"))->text(), QStringLiteral("80"));
    QVERIFY(!box(dialog, QStringLiteral("Check1"))->isChecked());
    QVERIFY(!proxyFieldsEnabled(dialog));
    QVERIFY(box(dialog, QStringLiteral("Check3"))->isChecked());
    QVERIFY(!box(dialog, QStringLiteral("Check2"))->isChecked());
    QVERIFY(script->boxes.isEmpty());
    QVERIFY(storeContents().isEmpty());
}

void TestSettingsDialog::storedOptionsAreShown()
{
    writeSetting(layout::Fw, QStringLiteral("1"));
    writeSetting(layout::FwIp, QStringLiteral(" proxy.lan "));
    writeSetting(layout::FwPort, QStringLiteral(""));
    writeSetting(layout::Limit, QStringLiteral("1"));
    writeSetting(layout::Always, QStringLiteral("1"));
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QCOMPARE(text(dialog, QStringLiteral("Text1"))->text(), QStringLiteral(" proxy.lan "));
    // A port stored empty stays empty; only a missing one shows "80".
    QCOMPARE(text(dialog, QStringLiteral("Text2"))->text(), QString());
    QVERIFY(box(dialog, QStringLiteral("Check1"))->isChecked());
    QVERIFY(proxyFieldsEnabled(dialog));
    QVERIFY(box(dialog, QStringLiteral("Check3"))->isChecked());
    QVERIFY(box(dialog, QStringLiteral("Check2"))->isChecked());
    QVERIFY(script->boxes.isEmpty());
}

void TestSettingsDialog::proxyBoxSwitchesFields()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QCheckBox *proxy = box(dialog, QStringLiteral("Check1"));
    proxy->click();
    QVERIFY(proxy->isChecked());
    QVERIFY(proxyFieldsEnabled(dialog));
    text(dialog, QStringLiteral("Text1"))->setText(QStringLiteral("10.0.0.1"));
    text(dialog, QStringLiteral("Text2"))->setText(QStringLiteral("3128"));
    proxy->click();
    QVERIFY(!proxy->isChecked());
    QVERIFY(!proxyFieldsEnabled(dialog));
    QCOMPARE(text(dialog, QStringLiteral("Text1"))->text(), QStringLiteral("10.0.0.1"));
    QCOMPARE(text(dialog, QStringLiteral("Text2"))->text(), QStringLiteral("3128"));
    QVERIFY(script->boxes.isEmpty());
}

void TestSettingsDialog::saveAsksForAddressThenPort()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    box(dialog, QStringLiteral("Check1"))->click();
    text(dialog, QStringLiteral("Text2"))->clear();

    click(dialog, QStringLiteral("Command1"));
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, AddressMissing);
    QCOMPARE(script->boxes.at(0).title, ErrorTitle);
    QCOMPARE(script->boxes.at(0).flags, 16);
    QCOMPARE(script->boxes.at(0).owner, static_cast<QObject *>(dialog));
    QVERIFY(dialog->isVisible());
    QVERIFY(!listWindow.isEnabled());
    QVERIFY(storeContents().isEmpty());

    text(dialog, QStringLiteral("Text1"))->setText(QStringLiteral(" "));
    click(dialog, QStringLiteral("Command1"));
    QCOMPARE(script->boxes.size(), 2);
    QCOMPARE(script->boxes.at(1).text, PortMissing);
    QCOMPARE(script->boxes.at(1).title, ErrorTitle);
    QCOMPARE(script->boxes.at(1).flags, 16);
    QVERIFY(dialog->isVisible());
    QVERIFY(storeContents().isEmpty());
    QCOMPARE(listWindow.state().changesMade, false);

    // Only an empty text is missing: blanks and a port that is no number pass.
    text(dialog, QStringLiteral("Text2"))->setText(QStringLiteral("port "));
    click(dialog, QStringLiteral("Command1"));
    QCOMPARE(script->boxes.size(), 2);
    QVERIFY(dialog->isHidden());
    QVERIFY(listWindow.isEnabled());
    QCOMPARE(setting(layout::Fw), QStringLiteral("1"));
    QCOMPARE(setting(layout::FwIp), QStringLiteral(" "));
    QCOMPARE(setting(layout::FwPort), QStringLiteral("port "));
    QCOMPARE(listWindow.state().changesMade, true);
}

void TestSettingsDialog::saveWithProxyOffKeepsEmptyFields()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    text(dialog, QStringLiteral("Text2"))->clear();
    click(dialog, QStringLiteral("Command1"));
    QVERIFY(script->boxes.isEmpty());
    QVERIFY(dialog->isHidden());
    QCOMPARE(setting(layout::Fw), QStringLiteral("0"));
    QCOMPARE(setting(layout::FwIp), QString());
    QCOMPARE(setting(layout::FwPort), QString());

    // The empty port is read back as it was saved.
    openSetup(listWindow);
    QCOMPARE(text(dialog, QStringLiteral("Text2"))->text(), QString());
}

void TestSettingsDialog::saveWithoutChangeWritesAllOptions()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    click(dialog, QStringLiteral("Command1"));
    QVERIFY(script->boxes.isEmpty());
    QVERIFY(dialog->isHidden());
    QVERIFY(listWindow.isEnabled());
    QCOMPARE(listWindow.state().changesMade, true);
    const QMap<QString, QString> expected = {
        {"!Settings/FW", "0"},    {"!Settings/FWIP", ""},    {"!Settings/FWPort", "80"},
        {"!Settings/Limit", "1"}, {"!Settings/Always", "0"},
    };
    QCOMPARE(storeContents(), expected);

    // The saved values come back as they were written.
    openSetup(listWindow);
    box(dialog, QStringLiteral("Check1"))->click();
    text(dialog, QStringLiteral("Text1"))->setText(QStringLiteral("proxy.lan"));
    text(dialog, QStringLiteral("Text2"))->setText(QStringLiteral("8080"));
    box(dialog, QStringLiteral("Check2"))->click();
    click(dialog, QStringLiteral("Command1"));
    openSetup(listWindow);
    QVERIFY(box(dialog, QStringLiteral("Check1"))->isChecked());
    QVERIFY(proxyFieldsEnabled(dialog));
    QCOMPARE(text(dialog, QStringLiteral("Text1"))->text(), QStringLiteral("proxy.lan"));
    QCOMPARE(text(dialog, QStringLiteral("Text2"))->text(), QStringLiteral("8080"));
    QVERIFY(box(dialog, QStringLiteral("Check2"))->isChecked());
    QCOMPARE(setting(layout::Always), QStringLiteral("1"));
}

void TestSettingsDialog::limitBoxClearedShowsNote()
{
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QCheckBox *limit = box(dialog, QStringLiteral("Check3"));
    limit->click();
    QVERIFY(!limit->isChecked());
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, HourlyNote);
    QCOMPARE(script->boxes.at(0).title, QStringLiteral("Information:"));
    QCOMPARE(script->boxes.at(0).flags, 64);
    limit->click();
    QVERIFY(limit->isChecked());
    QCOMPARE(script->boxes.size(), 1);

    // The always box has nothing to say.
    box(dialog, QStringLiteral("Check2"))->click();
    box(dialog, QStringLiteral("Check2"))->click();
    QCOMPARE(script->boxes.size(), 1);
}

void TestSettingsDialog::cancelWritesNothing()
{
    writeSetting(layout::FwIp, QStringLiteral("old.lan"));
    const auto before = storeContents();
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    box(dialog, QStringLiteral("Check1"))->click();
    text(dialog, QStringLiteral("Text1"))->setText(QStringLiteral("new.lan"));
    box(dialog, QStringLiteral("Check2"))->click();
    click(dialog, QStringLiteral("Command2"));
    QVERIFY(dialog->isHidden());
    QVERIFY(listWindow.isEnabled());
    QCOMPARE(storeContents(), before);
    QCOMPARE(listWindow.state().changesMade, false);

    // The discarded edits do not come back.
    QCOMPARE(openSetup(listWindow), dialog);
    QCOMPARE(text(dialog, QStringLiteral("Text1"))->text(), QStringLiteral("old.lan"));
    QVERIFY(!box(dialog, QStringLiteral("Check1"))->isChecked());
    QVERIFY(!proxyFieldsEnabled(dialog));
    QVERIFY(!box(dialog, QStringLiteral("Check2"))->isChecked());
    QVERIFY(script->boxes.isEmpty());
}

void TestSettingsDialog::showReloadsAfterCancel_data()
{
    QTest::addColumn<QString>("stored");
    QTest::newRow("store FW 0") << "0";
    QTest::newRow("store FW 1") << "1";
}

// The proxy box is set back from the store on the next Show, and its handler
// follows: the fields are enabled exactly when it comes back ticked.
void TestSettingsDialog::showReloadsAfterCancel()
{
    QFETCH(QString, stored);
    writeSetting(layout::Fw, stored);
    const bool ticked = stored == QStringLiteral("1");
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QCheckBox *proxy = box(dialog, QStringLiteral("Check1"));
    QCOMPARE(proxy->isChecked(), ticked);
    QCOMPARE(proxyFieldsEnabled(dialog), ticked);
    proxy->click();
    QCOMPARE(proxyFieldsEnabled(dialog), !ticked);
    click(dialog, QStringLiteral("Command2"));

    openSetup(listWindow);
    QCOMPARE(proxy->isChecked(), ticked);
    QCOMPARE(proxyFieldsEnabled(dialog), ticked);
    QVERIFY(script->boxes.isEmpty());
}

// A limit box set back to clear by the load says so while the dialog comes
// up; the note going away does not load the dialog again.
void TestSettingsDialog::storedClearLimitNotesWhileComingUp()
{
    writeSetting(layout::Limit, QStringLiteral("0"));
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QCheckBox *limit = box(dialog, QStringLiteral("Check3"));
    // Built clear and loaded clear: no change, so no note.
    QVERIFY(!limit->isChecked());
    QVERIFY(script->boxes.isEmpty());
    limit->click();
    QVERIFY(limit->isChecked());
    click(dialog, QStringLiteral("Command2"));

    bool shownWhileVisible = false;
    script->whileShown = [&](const ScriptedPrompts::Box &) {
        shownWhileVisible = dialog->isVisible();
    };
    openSetup(listWindow);
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).text, HourlyNote);
    QCOMPARE(script->boxes.at(0).title, QStringLiteral("Information:"));
    QCOMPARE(script->boxes.at(0).flags, 64);
    QVERIFY(shownWhileVisible);
    QVERIFY(!limit->isChecked());
    QVERIFY(!listWindow.isEnabled());
    QCoreApplication::processEvents();
    QCOMPARE(script->boxes.size(), 1);
}

void TestSettingsDialog::closeBoxDiscardsDialog()
{
    writeSetting(layout::FwIp, QStringLiteral("old.lan"));
    const auto before = storeContents();
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    text(dialog, QStringLiteral("Text1"))->setText(QStringLiteral("new.lan"));
    box(dialog, QStringLiteral("Check2"))->click();
    QVERIFY(dialog->close());
    QVERIFY(listWindow.isEnabled());
    QTRY_VERIFY(!listWindow.settingsWindow());
    QCOMPARE(storeContents(), before);
    QCOMPARE(listWindow.state().changesMade, false);

    dialog = openSetup(listWindow);
    QVERIFY(dialog->isVisible());
    QVERIFY(!listWindow.isEnabled());
    QCOMPARE(text(dialog, QStringLiteral("Text1"))->text(), QStringLiteral("old.lan"));
    QVERIFY(!box(dialog, QStringLiteral("Check2"))->isChecked());
}

void TestSettingsDialog::unusableStoredValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("value");
    const QList<QPair<QString, QString>> options = {
        {"FW", "Check1"}, {"Limit", "Check3"}, {"Always", "Check2"}};
    for (const auto &option : options) {
        for (const char *value : {"2", "-1", "yes", "1.5", "99999", "", "0x1"}) {
            QTest::newRow(qPrintable(option.first + QStringLiteral(" \"") + value + '"'))
                << option.first << option.second << QString::fromLatin1(value);
        }
    }
}

// Values that this program never writes show the box clear, as the checker
// takes them, and the dialog goes on working.
void TestSettingsDialog::unusableStoredValues()
{
    QFETCH(QString, key);
    QFETCH(QString, box);
    QFETCH(QString, value);
    writeSetting(key, value);
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    QVERIFY(dialog->isVisible());
    QVERIFY(!::box(dialog, box)->isChecked());
    if (key == layout::Fw)
        QVERIFY(!proxyFieldsEnabled(dialog));
    QVERIFY(script->boxes.isEmpty());

    click(dialog, QStringLiteral("Command1"));
    QVERIFY(dialog->isHidden());
    QCOMPARE(setting(key), QStringLiteral("0"));
}

void TestSettingsDialog::failedSaveIsReported_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("folder replaced by a file") << int(StoreFault::FolderReplaced);
    QTest::newRow("disk full") << int(StoreFault::DiskFull);
    // Room for "FW", the first option saved, not for the address after it.
    QTest::newRow("room for one key") << int(StoreFault::LittleRoom);
    QTest::newRow("lock held") << int(StoreFault::LockHeld);
}

// Save is saved whole or not at all: the store file stays byte for byte as it
// was, and nothing is taken as saved.
void TestSettingsDialog::failedSaveIsReported()
{
    QFETCH(int, fault);
    writeSetting(layout::Fw, QStringLiteral("0"));
    ActionListWindow listWindow(*script);
    SettingsDialog *dialog = openSetup(listWindow);
    box(dialog, QStringLiteral("Check1"))->click();
    text(dialog, QStringLiteral("Text1"))->setText(QStringLiteral("proxy.example"));
    box(dialog, QStringLiteral("Check2"))->click();
    auto broken = std::make_unique<StoreFault>(StoreFault::Kind(fault), 8);
    QVERIFY(broken->isSet());
    const QByteArray bytes = storeBytes();
    click(dialog, QStringLiteral("Command1"));
    QCOMPARE(script->boxes.size(), 1);
    QCOMPARE(script->boxes.at(0).title, ErrorTitle);
    QCOMPARE(script->boxes.at(0).flags, 16);
    QVERIFY(!script->boxes.at(0).text.isEmpty());
    QCOMPARE(storeBytes(), bytes);
    QVERIFY(dialog->isVisible());
    QVERIFY(!listWindow.isEnabled());
    QCOMPARE(listWindow.state().changesMade, false);
    QVERIFY(box(dialog, QStringLiteral("Check2"))->isChecked());
    const QString how = broken->how();
    broken.reset();
    figures::add(QStringLiteral("unwritable"),
                 {how, QStringLiteral("config: settings dialog \"Save\""),
                  QStringLiteral("\"Error:\" box, dialog stays open, nothing taken as saved")});
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
