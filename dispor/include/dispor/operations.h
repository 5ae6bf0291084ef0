#pragma once

#include "dispor/config.h"

#include <QObject>

#include <memory>

namespace Dispor {

// A blocking request to the display-configuration service. An operation
// runs once: a second exec() returns the first result. Owned by the caller
// (or by its QObject parent).
class DISPOR_EXPORT ConfigOperation : public QObject {
    Q_OBJECT
public:
    enum Option { NoOptions = 0 };
    Q_DECLARE_FLAGS(Options, Option)

    // Runs the request to its end, blocking the calling thread; every wait
    // on the display server inside is bounded. True when it succeeded.
    bool exec();
    // After a failed exec(): the reason, one line (for a fetch, it was
    // reported already). An apply that the display service took but does not
    // hold as sent gives a line per output, separated by line breaks.
    bool hasError() const;
    QString errorString() const;
    // The snapshot fetched or applied; null after a failed fetch.
    ConfigPtr config() const;

    ~ConfigOperation() override;

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

// Fetches a fresh snapshot. A fetch that fails reports its reason as a
// warning of the logging category "dispor" (Qt's default handler prints
// "dispor: …" on standard error) and leaves config() null.
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
