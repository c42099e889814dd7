#pragma once

// One WMI query through WMI's COM interfaces. Standard library only; the
// program calls it through platform/Wmi_win32.cpp.

#include <string>
#include <vector>

using TWinTable = std::vector<std::vector<std::wstring>>;

// Row 0 holds "Instance" and the property names, row n the n-th object's
// number and its property values as text, columns in the order WMI
// enumerates the properties. A query text that begins with "SELECT" runs as
// WQL; any other text is a class name whose own instances are listed.
// Returns the number of properties of the last object read (0 when nothing
// was found), or -1 with WMI's message, trimmed, in aErrorText.
//
// Value texts: "NULL" for a null value, decimal text for integers, the
// locale's decimal separator for reals, "True"/"False", "<CIM Object>",
// "<16-bit character>", array elements joined by "|", and texts, unsigned
// 64-bit integers, date-times and references as WMI gives them.
int WinWmiQuery(const std::wstring &aComputer, const std::wstring &aNameSpace, const std::wstring &aUser,
                const std::wstring &aPassword, const std::wstring &aQuery, TWinTable &aTable, int &aInstances,
                std::wstring &aErrorText);
