#pragma once

#include <QList>
#include <QSqlError>
#include <QSqlRecord>
#include <QSqlResult>
#include <QVariant>

struct sqlite3_stmt;
class SqlCipherDriver;

// One statement of a SqlCipherDriver connection. Rows are read completely at
// execution, so errors show up at exec() and every row position can be fetched.
class SqlCipherResult : public QSqlResult {
public:
    explicit SqlCipherResult(const SqlCipherDriver* driver);
    ~SqlCipherResult() override;

    // Called by the driver when its connection goes away.
    void finalize();

protected:
    QVariant data(int field) override;
    bool isNull(int field) override;
    bool reset(const QString& query) override;
    bool prepare(const QString& query) override;
    bool exec() override;
    bool fetch(int row) override;
    bool fetchFirst() override;
    bool fetchLast() override;
    int size() override;
    int numRowsAffected() override;
    QSqlRecord record() const override;
    QVariant lastInsertId() const override;
    QVariant handle() const override;
    void detachFromResultSet() override;

private:
    bool bindAll();
    bool step();
    void buildRecord();
    void setStatementError(const QString& what, QSqlError::ErrorType type);
    const SqlCipherDriver* cipherDriver() const;

    sqlite3_stmt* statement = nullptr;
    QList<QVariantList> rows;
    QSqlRecord columns;
    int affected = -1;
    QVariant insertId;
};
