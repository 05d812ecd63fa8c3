#pragma once

#include <QValidator>

namespace kvp {

// Lets what a Chinese or Japanese input method types as full-width digits, sign,
// point and space ("１２", "　３") into a box as the plain characters a number is
// read from, before anyone reads the box. Refuses nothing: what is no number is said
// so where it is used.
class HalfWidthValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &position) const override;
};

} // namespace kvp
