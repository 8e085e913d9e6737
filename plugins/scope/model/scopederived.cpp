#include "scopederived.h"

#include <muParser.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace scopederived {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool isNameStart(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_';
}

bool isNameChar(QChar c)
{
    return isNameStart(c) || (c.unicode() >= '0' && c.unicode() <= '9');
}

// What the functions with state read of the row being evaluated.
struct RowContext
{
    double timeMs = 0.0;
};

struct DerivativeState
{
    const RowContext* row = nullptr;
    double previous = kNaN;
    double previousTime = kNaN;

    void reset()
    {
        previous = kNaN;
        previousTime = kNaN;
    }
};

// The last n values in a ring; the sum covers the finite ones. It is summed
// afresh each time the ring wraps, so rounding never accumulates.
struct AverageState
{
    std::vector<double> ring;
    std::size_t head = 0;
    int finite = 0;
    double sum = 0.0;

    void reset()
    {
        ring.clear();
        head = 0;
        finite = 0;
        sum = 0.0;
    }
};

double derivative(void* data, double x)
{
    auto* s = static_cast<DerivativeState*>(data);
    const double t = s->row->timeMs;
    double result = kNaN;
    // Per second; a row whose stamp does not advance has no slope.
    if (std::isfinite(s->previous) && std::isfinite(x) && t > s->previousTime)
        result = (x - s->previous) / ((t - s->previousTime) / 1000.0);
    s->previous = x;
    s->previousTime = t;
    return result;
}

double movingAverage(void* data, double x, double n)
{
    auto* s = static_cast<AverageState*>(data);
    if (s->ring.empty()) {
        // The window is fixed by the first row: n is meant as a constant.
        if (!(n >= 1.0))
            return kNaN;
        const double rows = std::min(std::floor(n + 0.5), double(kMaxAverageRows));
        s->ring.assign(std::size_t(rows), kNaN);
    }
    double& slot = s->ring[s->head];
    if (std::isfinite(slot)) {
        s->sum -= slot;
        --s->finite;
    }
    slot = x;
    if (std::isfinite(x)) {
        s->sum += x;
        ++s->finite;
    }
    if (++s->head == s->ring.size()) {
        s->head = 0;
        double sum = 0.0;
        for (double v : s->ring) {
            if (std::isfinite(v))
                sum += v;
        }
        s->sum = sum;
    }
    return s->finite > 0 ? s->sum / s->finite : kNaN;
}

QString reason(const char* text)
{
    return QCoreApplication::translate("ScopeDerived", text);
}

// The user's text as muParser reads it.
struct Translation
{
    std::string text;
    std::vector<int> from;     // user position of every character of text, and one past the end
    std::vector<int> columns;  // value column of variable __cK
    int derivatives = 0;
    int averages = 0;

    void append(const std::string& piece, int userPos)
    {
        text += piece;
        from.insert(from.end(), piece.size(), userPos);
    }
};

int findSource(const QVector<Source>& chosen, const QString& title)
{
    for (int i = 0; i < chosen.size(); ++i) {
        if (chosen[i].title.trimmed() == title)
            return i;
    }
    return -1;
}

bool translate(const QString& user, const QVector<Source>& chosen, const QStringList& known, Translation& out,
               Problem* problem)
{
    auto fail = [problem](int pos, const QString& why) {
        if (problem)
            *problem = Problem{pos, why};
        return false;
    };
    int depth = 0;
    const int n = user.size();
    for (int i = 0; i < n;) {
        const QChar c = user[i];
        const ushort u = c.unicode();
        if (u == '[') {
            const int close = user.indexOf(QLatin1Char(']'), i + 1);
            if (close < 0)
                return fail(i, reason(QT_TRANSLATE_NOOP("ScopeDerived", "the channel name has no closing ]")));
            const QString title = user.mid(i + 1, close - i - 1).trimmed();
            if (title.isEmpty())
                return fail(i, reason(QT_TRANSLATE_NOOP("ScopeDerived", "empty channel name")));
            const int source = findSource(chosen, title);
            if (source < 0) {
                bool isKnown = false;
                for (const QString& k : known)
                    isKnown = isKnown || k.trimmed() == title;
                if (isKnown)
                    return fail(i, QCoreApplication::translate("ScopeDerived", "the channel %1 is not chosen").arg(title));
                return fail(i, QCoreApplication::translate("ScopeDerived", "there is no channel %1").arg(title));
            }
            const int column = chosen[source].column;
            auto it = std::find(out.columns.begin(), out.columns.end(), column);
            const int var = int(it - out.columns.begin());
            if (it == out.columns.end())
                out.columns.push_back(column);
            out.append("__c" + std::to_string(var), i);
            i = close + 1;
            continue;
        }
        if (u == ']')
            return fail(i, reason(QT_TRANSLATE_NOOP("ScopeDerived", "] without [")));
        if (u > 0x7e || (u < 0x20 && u != '\t'))
            return fail(i, QCoreApplication::translate("ScopeDerived", "unexpected character %1").arg(c));
        if (isNameStart(c)) {
            int end = i;
            while (end < n && isNameChar(user[end]))
                ++end;
            const QString name = user.mid(i, end - i);
            if (name.startsWith(QLatin1String("__")))
                return fail(i, QCoreApplication::translate("ScopeDerived", "unknown name %1").arg(name));
            int next = end;
            while (next < n && user[next].isSpace())
                ++next;
            const bool call = next < n && user[next] == QLatin1Char('(');
            if (call && name == QLatin1String("deriv"))
                out.append("__d" + std::to_string(out.derivatives++), i);
            else if (call && name == QLatin1String("movavg"))
                out.append("__m" + std::to_string(out.averages++), i);
            else
                for (int k = i; k < end; ++k)
                    out.append(std::string(1, char(user[k].unicode())), k);
            i = end;
            continue;
        }
        if (u == '(')
            ++depth;
        else if (u == ')')
            --depth;
        else if (u == ',' && depth <= 0)
            return fail(i, reason(QT_TRANSLATE_NOOP("ScopeDerived", "a derived channel is one expression; this comma separates two")));
        else if (u == '=') {
            const bool compare = (i + 1 < n && user[i + 1] == QLatin1Char('='))
                                 || (i > 0 && QStringLiteral("<>!=").contains(user[i - 1]));
            if (!compare)
                return fail(i, reason(QT_TRANSLATE_NOOP("ScopeDerived", "= would assign; compare with ==")));
        }
        out.append(std::string(1, char(u)), i);
        ++i;
    }
    out.from.push_back(n);
    return true;
}

bool isTypeError(mu::EErrorCodes code)
{
    return code == mu::ecUNEXPECTED_STR || code == mu::ecSTRING_EXPECTED || code == mu::ecVAL_EXPECTED
           || code == mu::ecOPRT_TYPE_CONFLICT || code == mu::ecSTR_RESULT;
}

QString muParserReason(const mu::Parser::exception_type& e)
{
    const QString token = QString::fromStdString(e.GetToken());
    switch (e.GetCode()) {
    case mu::ecUNASSIGNABLE_TOKEN:
        return QCoreApplication::translate("ScopeDerived", "unknown name %1").arg(token);
    case mu::ecUNEXPECTED_EOF:
        return reason(QT_TRANSLATE_NOOP("ScopeDerived", "the expression ends too early"));
    case mu::ecMISSING_PARENS:
        return reason(QT_TRANSLATE_NOOP("ScopeDerived", "a closing parenthesis is missing"));
    case mu::ecUNEXPECTED_PARENS:
        return reason(QT_TRANSLATE_NOOP("ScopeDerived", "unexpected parenthesis"));
    case mu::ecTOO_MANY_PARAMS:
    case mu::ecTOO_FEW_PARAMS:
        return reason(QT_TRANSLATE_NOOP("ScopeDerived", "wrong number of arguments"));
    case mu::ecUNEXPECTED_STR:
    case mu::ecSTRING_EXPECTED:
    case mu::ecVAL_EXPECTED:
    case mu::ecOPRT_TYPE_CONFLICT:
    case mu::ecSTR_RESULT:
        return reason(QT_TRANSLATE_NOOP("ScopeDerived", "type error: text where a number is needed"));
    case mu::ecUNEXPECTED_OPERATOR:
    case mu::ecUNEXPECTED_ARG_SEP:
    case mu::ecUNEXPECTED_ARG:
    case mu::ecUNEXPECTED_VAL:
    case mu::ecUNEXPECTED_VAR:
    case mu::ecUNEXPECTED_FUN:
    case mu::ecUNEXPECTED_CONDITIONAL:
    case mu::ecMISSING_ELSE_CLAUSE:
        return reason(QT_TRANSLATE_NOOP("ScopeDerived", "syntax error: unexpected symbol"));
    default:
        return QString::fromStdString(e.GetMsg());
    }
}

} // namespace

// One compiled expression with its variables and the state of its deriv()
// and movavg() calls. muParser keeps pointers into this object: it is never
// copied or moved.
class Channel
{
public:
    Channel() = default;
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool compile(const QString& user, const QVector<Source>& chosen, const QStringList& known, Problem* problem)
    {
        Translation tr;
        if (user.trimmed().isEmpty()) {
            if (problem)
                *problem = Problem{0, reason(QT_TRANSLATE_NOOP("ScopeDerived", "the expression is empty"))};
            return false;
        }
        if (!translate(user, chosen, known, tr, problem))
            return false;
        m_columns = tr.columns;
        m_variables.assign(m_columns.size(), 0.0);
        m_derivatives.resize(std::size_t(tr.derivatives));
        m_averages.resize(std::size_t(tr.averages));
        try {
            for (std::size_t k = 0; k < m_variables.size(); ++k)
                m_parser.DefineVar("__c" + std::to_string(k), &m_variables[k]);
            for (std::size_t k = 0; k < m_derivatives.size(); ++k) {
                m_derivatives[k].row = &m_row;
                m_parser.DefineFunUserData("__d" + std::to_string(k), derivative, &m_derivatives[k], false);
            }
            for (std::size_t k = 0; k < m_averages.size(); ++k)
                m_parser.DefineFunUserData("__m" + std::to_string(k), movingAverage, &m_averages[k], false);
            m_parser.SetExpr(tr.text);
            // The first evaluation parses; its effect on the state is undone.
            m_parser.Eval();
        } catch (const mu::Parser::exception_type& e) {
            if (problem) {
                int pos = e.GetPos();
                if (pos < 0 || pos >= int(tr.from.size()))
                    pos = int(tr.from.size()) - 1;
                // muParser names the end of the expression for a type
                // error; text in quotes is the only thing of another type.
                const auto quote = tr.text.find('"');
                if (isTypeError(e.GetCode()) && quote != std::string::npos)
                    pos = int(quote);
                *problem = Problem{tr.from[std::size_t(pos)], muParserReason(e)};
            }
            return false;
        }
        reset();
        return true;
    }

    void reset()
    {
        for (auto& d : m_derivatives)
            d.reset();
        for (auto& a : m_averages)
            a.reset();
    }

    double evaluate(double timeMs, const double* values)
    {
        m_row.timeMs = timeMs;
        for (std::size_t k = 0; k < m_variables.size(); ++k)
            m_variables[k] = values[m_columns[k]];
        try {
            return m_parser.Eval();
        } catch (const mu::Parser::exception_type&) {
            return kNaN;
        }
    }

    int maxColumn() const
    {
        int m = -1;
        for (int c : m_columns)
            m = std::max(m, c);
        return m;
    }

private:
    mu::Parser m_parser;
    RowContext m_row;
    std::vector<double> m_variables;
    std::vector<int> m_columns;
    std::vector<DerivativeState> m_derivatives;
    std::vector<AverageState> m_averages;
};

bool parseOption(const QString& text, Definition& out, QString& why)
{
    const int eq = text.indexOf(QLatin1Char('='));
    if (eq < 0) {
        why = reason(QT_TRANSLATE_NOOP("ScopeDerived", "expected NAME[UNIT]=EXPRESSION"));
        return false;
    }
    QString left = text.left(eq).trimmed();
    Definition d;
    d.expression = text.mid(eq + 1).trimmed();
    const int open = left.indexOf(QLatin1Char('['));
    if (open >= 0 && left.endsWith(QLatin1Char(']'))) {
        d.unit = left.mid(open + 1, left.size() - open - 2).trimmed();
        left = left.left(open).trimmed();
    }
    d.name = left;
    if (d.name.isEmpty() || d.expression.isEmpty()) {
        why = reason(QT_TRANSLATE_NOOP("ScopeDerived", "expected NAME[UNIT]=EXPRESSION"));
        return false;
    }
    out = d;
    return true;
}

ScopeDerivedSet::~ScopeDerivedSet() = default;

bool ScopeDerivedSet::check(const Definition& definition, const QVector<Source>& chosen, const QStringList& known,
                            Problem* problem)
{
    if (definition.name.trimmed().isEmpty()) {
        if (problem)
            *problem = Problem{-1, tr("the name is empty")};
        return false;
    }
    if (findSource(chosen, definition.name.trimmed()) >= 0) {
        if (problem)
            *problem = Problem{-1, tr("a chosen channel is called %1 already").arg(definition.name.trimmed())};
        return false;
    }
    Channel channel;
    return channel.compile(definition.expression, chosen, known, problem);
}

std::unique_ptr<ScopeDerivedSet> ScopeDerivedSet::compile(const QVector<Definition>& definitions,
                                                          const QVector<Source>& chosen, const QStringList& known,
                                                          int* failed, Problem* problem)
{
    auto refuse = [&](int index, const Problem& p) {
        if (failed)
            *failed = index;
        if (problem)
            *problem = p;
        return std::unique_ptr<ScopeDerivedSet>();
    };
    if (definitions.size() > kMaxChannels)
        return refuse(kMaxChannels, Problem{-1, tr("at most %1 derived channels").arg(kMaxChannels)});
    std::unique_ptr<ScopeDerivedSet> set(new ScopeDerivedSet);
    for (int i = 0; i < definitions.size(); ++i) {
        const Definition& d = definitions[i];
        Problem p;
        if (!check(d, chosen, known, &p))
            return refuse(i, p);
        for (int j = 0; j < i; ++j) {
            if (definitions[j].name.trimmed() == d.name.trimmed())
                return refuse(i, Problem{-1, tr("two derived channels are called %1").arg(d.name.trimmed())});
        }
        auto channel = std::make_unique<Channel>();
        channel->compile(d.expression, chosen, known, &p);
        set->m_channels.push_back(std::move(channel));
        set->m_definitions.append(d);
    }
    return set;
}

void ScopeDerivedSet::reset()
{
    for (auto& c : m_channels)
        c->reset();
}

void ScopeDerivedSet::evaluate(double timeMs, const double* values, double* out)
{
    for (std::size_t i = 0; i < m_channels.size(); ++i)
        out[i] = m_channels[i]->evaluate(timeMs, values);
}

QVector<QVector<double>> evaluateTable(const QVector<Definition>& definitions, const QVector<Source>& sources,
                                       const QVector<double>& times, const QVector<QVector<double>>& columns,
                                       QVector<Definition>* evaluated, QStringList* skipped)
{
    std::vector<std::unique_ptr<Channel>> channels;
    QVector<Definition> kept;
    for (const Definition& d : definitions) {
        if (channels.size() >= std::size_t(kMaxChannels))
            break;
        auto channel = std::make_unique<Channel>();
        Problem p;
        if (ScopeDerivedSet::check(d, sources, QStringList(), &p)
            && channel->compile(d.expression, sources, QStringList(), &p)) {
            channels.push_back(std::move(channel));
            kept.append(d);
        } else if (skipped) {
            skipped->append(d.name);
        }
    }
    int width = 0;
    for (const Source& s : sources)
        width = std::max(width, s.column + 1);
    std::vector<double> row(std::size_t(std::max(width, 1)), kNaN);
    QVector<QVector<double>> result(int(channels.size()));
    for (auto& column : result)
        column.reserve(times.size());
    for (int r = 0; r < times.size(); ++r) {
        for (const Source& s : sources) {
            const QVector<double>* column = s.column < columns.size() ? &columns[s.column] : nullptr;
            row[std::size_t(s.column)] = column && r < column->size() ? (*column)[r] : kNaN;
        }
        for (std::size_t c = 0; c < channels.size(); ++c)
            result[int(c)].append(channels[c]->evaluate(times[r], row.data()));
    }
    if (evaluated)
        *evaluated = kept;
    return result;
}

} // namespace scopederived
