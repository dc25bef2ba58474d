#include "commands/analyzingcorrectnesscommand.h"
#include "commands/command.h"
#include "commands/devicestatecommand.h"
#include "commands/exitcommand.h"
#include "commands/initializecommand.h"
#include "commands/savecommand.h"
#include "commands/setdbcommand.h"
#include "commands/silentcommands.h"
#include "commands/startanalyzingcommand.h"
#include "commands/commandregistry.h"

#include <QPointer>
#include <QTest>

class TestCommandRegistry : public QObject {
    Q_OBJECT
private slots:
    void emptySlotThrowsAndIsNull();
    void typedRetrieval();
    void replacementWaitsForRunningCall();
    void placeholdersAnswerNothing();
    void ownMetaObjectOnlyWithSignals();
};

void TestCommandRegistry::emptySlotThrowsAndIsNull()
{
    CommandRegistry registry;
    QVERIFY(!registry.commandFor(opcodes::ping));
    QVERIFY(!registry.commandFor(static_cast<opcodes>(13)));
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, registry.getCommand<Command>(opcodes::start_measure));
}

void TestCommandRegistry::typedRetrieval()
{
    CommandRegistry registry;
    registry.registerCommand(opcodes::abort, std::make_unique<AbortCommand>());
    QVERIFY(registry.getCommand<AbortCommand>(opcodes::abort) != nullptr);
    QVERIFY(registry.getCommand<ErrorCommand>(opcodes::abort) == nullptr); // wrong class
}

void TestCommandRegistry::replacementWaitsForRunningCall()
{
    CommandRegistry registry;
    registry.registerCommand(opcodes::save_measure, std::make_unique<Command>());
    // A dispatch holds the handler while it runs...
    std::shared_ptr<Command> running = registry.commandFor(opcodes::save_measure);
    QPointer<Command> watch = running.get();
    // ...and a nested event loop inside it installs fresh handlers.
    registry.registerCommand(opcodes::save_measure, std::make_unique<Command>());
    QVERIFY(!watch.isNull());
    QVERIFY(registry.commandFor(opcodes::save_measure).get() != running.get());
    running.reset();
    QVERIFY(watch.isNull());
}

void TestCommandRegistry::placeholdersAnswerNothing()
{
    Command plain;
    StateOfAnalyzingCommand silent;
    QVERIFY(plain(QByteArray::fromHex("0300000000")).isEmpty());
    QVERIFY(silent(QByteArray::fromHex("0300000000")).isEmpty());
}

void TestCommandRegistry::ownMetaObjectOnlyWithSignals()
{
    // Only `initialized` needs a meta-object of its own; every other handler
    // reports its base's.
    const std::pair<std::unique_ptr<Command>, const char*> handlers[] = {
        {std::make_unique<Command>(), "Command"},
        {std::make_unique<InitializeCommand>(), "InitializeCommand"},
        {std::make_unique<DeviceStateCommand>(), "Command"},
        {std::make_unique<ExitCommand>(), "Command"},
        {std::make_unique<SetDbCommand>(), "Command"},
        {std::make_unique<StartAnalyzingCommand>(), "Command"},
        {std::make_unique<AnalyzingCorrectnessCommand>(), "Command"},
        {std::make_unique<SaveCommand>(), "Command"},
        {std::make_unique<AbortCommand>(), "Command"},
        {std::make_unique<EndAnalyzingCommand>(), "Command"},
        {std::make_unique<ErrorCommand>(), "Command"},
        {std::make_unique<StateOfAnalyzingCommand>(), "Command"},
    };
    for (const auto& [handler, className] : handlers)
        QCOMPARE(handler->metaObject()->className(), className);
}

QTEST_GUILESS_MAIN(TestCommandRegistry)
#include "tst_commandregistry.moc"
