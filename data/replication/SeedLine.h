#pragma once

// A seed line ("K.csv", "GENPARAM.csv") is placed between the parentheses of
// an INSERT: it is accepted only as a list of plain values, so that a line
// can never carry SQL of its own (a generator call, a sub-select, a second
// statement).

#include <QString>

// Why aLine is not a list of plain values, in French; "" when it is one.
// Plain values, separated by commas, blanks allowed around them:
//   numbers        12  -3  4.50  .5  1e-3
//   quoted text    'l''un'  and the server's q'{…}' form (q'(…)', q'[…]',
//                  q'<…>', or q'X…X' with any other delimiter X)
//   NULL
//   typed dates    DATE '2024-01-31'  TIME '12:00:00'  TIMESTAMP '2024-01-31 12:00:00'
QString RefusLigneDeValeurs(const QString &aLine);
