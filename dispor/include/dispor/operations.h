#pragma once

#include "dispor/config.h"

#include <QObject>

#include <memory>

namespace Dispor {

// A request to the display-configuration service, run to its end either
// blocking (exec()) or on a thread of its own (start(), then finished()).
// An operation runs once: a second exec() or start() gives the first
// result. Owned by the caller (or by its QObject parent).
class DISPOR_EXPORT ConfigOperation : public QObject {
    Q_OBJECT
public:
    enum Option { NoOptions = 0 };
    Q_DECLARE_FLAGS(Options, Option)
    Q_FLAG(Options)

    // Runs the request to its end, blocking the calling thread; every wait
    // on the display server inside is bounded. True when it succeeded.
    // After start(), waits for that run.
    bool exec();
    // Runs the request on a thread of its own and returns at once, for a
    // program whose event loop must go on (a GUI). finished() follows in
    // this object's thread; read the results then, not before. The
    // library's state is not shared between threads: start the next
    // operation once this one has finished.
    void start();
    // After a failed exec(): the reason, one line (for a fetch, it was
    // reported already). An apply that the display service took but does not
    // hold as sent gives a line per output, separated by line breaks.
    bool hasError() const;
    QString errorString() const;
    // The snapshot fetched or applied; null after a failed fetch.
    ConfigPtr config() const;

    // Waits for a run start() began.
    ~ConfigOperation() override;

Q_SIGNALS:
    // Once, when a run start() began has ended; hasError() tells how.
    void finished(Dispor::ConfigOperation *operation);

protected:
    explicit ConfigOperation(QObject *parent);
    virtual bool run() = 0;

private:
    // The state of the operations the library makes, one for all of them.
    friend class GetConfigOperation;
    friend class SetConfigOperation;
    class Private;
    std::unique_ptr<Private> d;
};

// Fetches a fresh snapshot. A fetch that fails leaves config() null, with
// the reason in errorString(); it is also a warning of the logging category
// "dispor", which is off unless the program turns it on (as dispctl does,
// with QLoggingCategory::setFilterRules("dispor.warning=true")).
class DISPOR_EXPORT GetConfigOperation : public ConfigOperation {
    Q_OBJECT
public:
    explicit GetConfigOperation(Options options = NoOptions, QObject *parent = nullptr);
    ~GetConfigOperation() override;

protected:
    bool run() override;
};

// Applies what a snapshot changed. A refusal prints nothing: the reason is
// errorString(), one line naming the output and what was refused, and the
// display server is left as it was. The snapshot must come from
// GetConfigOperation; it is shared, not copied. After a successful apply
// it stands for the state applied, so that applying it again carries only
// what changes next.
class DISPOR_EXPORT SetConfigOperation : public ConfigOperation {
    Q_OBJECT
public:
    explicit SetConfigOperation(const ConfigPtr &config, QObject *parent = nullptr);
    ~SetConfigOperation() override;

    // The apply failed only because the outputs changed since the snapshot
    // was fetched; nothing was applied. Fetch again and redo the change.
    bool isConflict() const;

protected:
    bool run() override;
};

} // namespace Dispor

Q_DECLARE_OPERATORS_FOR_FLAGS(Dispor::ConfigOperation::Options)
