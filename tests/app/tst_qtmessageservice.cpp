// The program's message boxes: caption, icon, buttons and the answer of each button.
#include "ModalHelper.h"
#include "QtMessageService.h"

#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

class TestQtMessageService : public QObject
{
    Q_OBJECT

private slots:
    void ask_data();
    void ask();
    void plainMessageAndError();
};

void TestQtMessageService::ask_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("press");   // standard button clicked, or 0 for Escape
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("standard"); // the box's buttons
    const int ync = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    QTest::newRow("YesNoCancel, Yes") << int(MsgButtons::YesNoCancel) << int(QMessageBox::Yes) << int(MsgResult::Yes) << ync;
    QTest::newRow("YesNoCancel, No") << int(MsgButtons::YesNoCancel) << int(QMessageBox::No) << int(MsgResult::No) << ync;
    QTest::newRow("YesNoCancel, Escape") << int(MsgButtons::YesNoCancel) << 0 << int(MsgResult::Cancel) << ync;
    QTest::newRow("YesNo, No") << int(MsgButtons::YesNo) << int(QMessageBox::No) << int(MsgResult::No)
                               << int(QMessageBox::Yes | QMessageBox::No);
    QTest::newRow("OkCancel, OK") << int(MsgButtons::OkCancel) << int(QMessageBox::Ok) << int(MsgResult::Ok)
                                  << int(QMessageBox::Ok | QMessageBox::Cancel);
    QTest::newRow("OkCancel, Escape") << int(MsgButtons::OkCancel) << 0 << int(MsgResult::Cancel)
                                      << int(QMessageBox::Ok | QMessageBox::Cancel);
}

void TestQtMessageService::ask()
{
    QFETCH(int, buttons);
    QFETCH(int, press);
    QFETCH(int, expected);
    QFETCH(int, standard);
    QtMessageService service;
    QString caption, text;
    int shownButtons = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    WhenModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        shownButtons = int(box->standardButtons());
        if (press)
            box->button(QMessageBox::StandardButton(press))->click();
        else
            QTest::keyClick(box, Qt::Key_Escape);
    });
    const MsgResult r = service.Ask(QStringLiteral("Some data has changed."), QStringLiteral("Closing"),
                                    MsgIcon::Question, MsgButtons(buttons));
    QCOMPARE(int(r), expected);
    QCOMPARE(caption, QStringLiteral("Closing"));
    QCOMPARE(text, QStringLiteral("Some data has changed."));
    QCOMPARE(icon, QMessageBox::Question);
    QCOMPARE(shownButtons, standard);
}

void TestQtMessageService::plainMessageAndError()
{
    QtMessageService service;
    QStringList seen;
    const auto record = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box);
        seen << box->windowTitle() + "|" + box->text() + "|" + QString::number(box->icon()) + "|" +
                    QString::number(int(box->standardButtons()));
        box->button(QMessageBox::Ok)->click();
    };
    WhenModal(record);
    service.ShowMessage(QStringLiteral("FTP Username john is already in use."));
    WhenModal(record);
    service.ShowError(QStringLiteral("Cannot create file \"x\"."));
    QCOMPARE(seen, (QStringList{"Pellaro|FTP Username john is already in use.|" + QString::number(QMessageBox::NoIcon) +
                                    "|" + QString::number(int(QMessageBox::Ok)),
                                "Pellaro|Cannot create file \"x\".|" + QString::number(QMessageBox::Critical) + "|" +
                                    QString::number(int(QMessageBox::Ok))}));
}

QTEST_MAIN(TestQtMessageService)
#include "tst_qtmessageservice.moc"
