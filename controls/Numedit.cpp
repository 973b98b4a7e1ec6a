#include "controls/Numedit.h"

#include "base/Exception.h"

#include <QKeyEvent>
#include <QLocale>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr char16_t Backspace = 8;
constexpr char16_t CarriageReturn = 13;

QChar& Separator() {
    static QChar separator = [] {
        const QString point = QLocale::system().decimalPoint();
        return point.isEmpty() ? QChar(u'.') : point.front();
    }();
    return separator;
}

// The character a key produces: what the keyboard reports, or for Ctrl with a letter the
// control character that the key combination stands for.
QChar ProducedCharacter(const QKeyEvent* event) {
    const Qt::KeyboardModifiers mods = event->modifiers();
    const int key = event->key();
    if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_At &&
        key <= Qt::Key_Underscore) {
        return QChar(char16_t(key - Qt::Key_At));
    }
    const QString text = event->text();
    return text.isEmpty() ? QChar() : text.front();
}

// General format with up to 15 significant digits: 2.5, 12, 1E20, 1E-5.
QString GeneralFormat(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15G", value);
    QString result = QString::fromLatin1(buffer);
    const qsizetype e = result.indexOf(QLatin1Char('E'));
    if (e >= 0) {
        // The runtime writes 1E20 and 1E-5 where printf writes 1E+20 and 1E-05.
        const bool negative = result.at(e + 1) == QLatin1Char('-');
        qsizetype digits = e + 2;
        while (digits < result.size() - 1 && result.at(digits) == QLatin1Char('0')) {
            ++digits;
        }
        result =
            result.left(e + 1) + (negative ? QStringLiteral("-") : QString()) + result.mid(digits);
    }
    result.replace(QLatin1Char('.'), TNumEdit::DecimalSeparator());
    return result;
}

QString IntegerText(double value) {
    if (value >= -9.2e18 && value <= 9.2e18) {
        return QString::number(static_cast<std::int64_t>(value));
    }
    char buffer[400];
    std::snprintf(buffer, sizeof buffer, "%.0f", value);
    return QString::fromLatin1(buffer);
}

} // namespace

TNumEdit::TNumEdit(QWidget* parent) : QLineEdit(parent) {
    setText(QStringLiteral("0"));
}

QChar TNumEdit::DecimalSeparator() {
    return Separator();
}

void TNumEdit::SetDecimalSeparator(QChar separator) {
    Separator() = separator;
}

QChar TNumEdit::KeyPress(QChar key) const {
    const QChar separator = DecimalSeparator();
    if (key == u'.' || key == u',') {
        key = separator;
    }
    const QChar typed = key;
    if (key != QChar(Backspace) && !(key >= u'0' && key <= u'9')) {
        key = QChar();
    }
    if (permitirNeg_ && typed == u'-' && text().isEmpty()) {
        key = typed;
    }
    if (typed == separator && permitirDec_ && !text().contains(separator)) {
        key = typed;
    }
    if (key == QChar(CarriageReturn)) {
        key = QChar();
    }
    return key;
}

void TNumEdit::keyPressEvent(QKeyEvent* event) {
    const QChar produced = ProducedCharacter(event);
    if (produced.isNull()) {
        // Arrows, Delete, Home, End and the like produce no character: not ours to filter.
        QLineEdit::keyPressEvent(event);
        return;
    }
    const QChar key = KeyPress(produced);
    if (key.isNull()) {
        event->accept();
        return;
    }
    if (key == QChar(Backspace)) {
        QKeyEvent backspace(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
        QLineEdit::keyPressEvent(&backspace);
        return;
    }
    QKeyEvent typed(QEvent::KeyPress, event->key(), Qt::NoModifier, QString(key));
    QLineEdit::keyPressEvent(&typed);
}

double TNumEdit::TextValue() const {
    const QString source = text();
    const QChar separator = DecimalSeparator();
    // The number's own form: optional sign, digits with one separator, optional exponent;
    // copied as it is read, with a point for the separator, for strtod.
    std::string number;
    qsizetype i = 0;
    const auto take = [&](char c) {
        number += c;
        ++i;
    };
    const auto at = [&](qsizetype k) { return k < source.size() ? source.at(k) : QChar(); };
    const auto digits = [&] {
        size_t count = 0;
        while (at(i) >= u'0' && at(i) <= u'9') {
            take(static_cast<char>(at(i).unicode()));
            ++count;
        }
        return count;
    };
    if (at(i) == u'+' || at(i) == u'-') {
        take(static_cast<char>(at(i).unicode()));
    }
    size_t mantissa = digits();
    if (!at(i).isNull() && at(i) == separator) {
        take('.');
        mantissa += digits();
    }
    bool valid = mantissa > 0;
    if (valid && (at(i) == u'e' || at(i) == u'E')) {
        take('e');
        if (at(i) == u'+' || at(i) == u'-') {
            take(static_cast<char>(at(i).unicode()));
        }
        valid = digits() > 0;
    }
    if (!valid || i != source.size()) {
        throw EConvertError("'" + source.toStdString() + "' is not a valid floating point value");
    }
    return std::strtod(number.c_str(), nullptr);
}

void TNumEdit::SetPermitirNeg(int value) {
    permitirNeg_ = value != 0;
    if (text().isEmpty() || text() == QStringLiteral("-")) {
        clear();
        return;
    }
    const double number = TextValue();
    if (number < 0 && !permitirNeg_) {
        setText(GeneralFormat(-number));
    }
}

void TNumEdit::SetPermitirDec(int value) {
    permitirDec_ = value != 0;
    if (text().isEmpty() || text() == QStringLiteral("-")) {
        clear();
        return;
    }
    // nearbyint rounds a half to the even neighbour in the default rounding mode; adding 0.0
    // turns a negative zero into a plain one.
    setText(IntegerText(std::nearbyint(TextValue()) + 0.0));
}

void TNumEdit::SetAlignment(TEditAlignment value) {
    if (value == alineacion_) {
        return;
    }
    alineacion_ = value;
    static constexpr Qt::Alignment Horizontal[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight};
    setAlignment(Horizontal[value] | Qt::AlignVCenter);
}

QVariant TNumEdit::DarValor() const {
    return QVariant(TextValue());
}
