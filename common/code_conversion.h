// Conversion of mixed Shift-JIS, EUC and JIS text into one target code.
#pragma once
