#pragma once

#include <QLineEdit>
#include <QVariant>

// A single-line field that takes a number from the keyboard: digits, and where permitted one
// leading minus sign and one decimal separator. Text set from code or pasted is not filtered.
// Usable on its own by any Qt program.
class TNumEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(TEditAlignment Alineacion READ Alineacion WRITE SetAlignment)
    Q_PROPERTY(bool PermitirNeg READ PermitirNeg WRITE SetPermitirNeg)
    Q_PROPERTY(bool PermitirDec READ PermitirDec WRITE SetPermitirDec)

public:
    enum TEditAlignment : quint8 { alIzq, alCentro, alDer };
    Q_ENUM(TEditAlignment)

    explicit TNumEdit(QWidget* parent = nullptr);

    bool PermitirNeg() const { return permitirNeg_; }
    bool PermitirDec() const { return permitirDec_; }
    TEditAlignment Alineacion() const { return alineacion_; }

    // Store the permission, then normalise the text: a lone "-" is cleared; without negatives
    // a negative number loses its sign; SetPermitirDec rounds the number to an integer (half to
    // even). Throw EConvertError when the text is not a number; the permission stays changed.
    void SetPermitirNeg(int value);
    void SetPermitirDec(int value);
    void SetAlignment(TEditAlignment value);

    // The text's value as a double; EConvertError when it is not a number.
    QVariant DarValor() const;

    // The filter of a typed character: returns the character to insert, or the null character
    // to drop it. Decides on the text as it stands, wherever the caret is.
    QChar KeyPress(QChar key) const;

    // The locale's decimal separator, read once; "." when the locale gives none.
    static QChar DecimalSeparator();
    static void SetDecimalSeparator(QChar separator);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    double TextValue() const;

    bool permitirNeg_ = false;
    bool permitirDec_ = false;
    TEditAlignment alineacion_ = alIzq;
};

using TEditAlignment = TNumEdit::TEditAlignment;
