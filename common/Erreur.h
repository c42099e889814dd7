#pragma once

// The one base of the errors we raise (EIvroErreur): the server's failures
// with their codes and our own refusals alike carry their text in French,
// kept as it was written; what() gives it in UTF-8 for code that only knows
// std::exception.

#include <QString>

#include <exception>
#include <stdexcept>

class EIvroErreur : public std::runtime_error
{
public:
    explicit EIvroErreur(const QString &aMessage);

    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// The text of any exception: ours as written, any other's what() read as
// UTF-8, except the system's (std::system_error), which speaks the system's
// 8-bit code page on Windows.
QString TexteErreur(const std::exception &aErreur);
