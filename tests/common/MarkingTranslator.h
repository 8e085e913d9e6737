// A translator that marks every text of one context as "<text>", so a test
// sees which texts go through translation without shipping a catalogue.
// Installed for its lifetime.
#pragma once

#include <QCoreApplication>
#include <QTranslator>

class MarkingTranslator : public QTranslator
{
public:
    explicit MarkingTranslator(const char* context) : m_context(context)
    {
        QCoreApplication::installTranslator(this);
    }
    ~MarkingTranslator() override { QCoreApplication::removeTranslator(this); }

    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* text, const char*, int) const override
    {
        return m_context == context ? QStringLiteral("<%1>").arg(QString::fromUtf8(text)) : QString();
    }

private:
    QByteArray m_context;
};
