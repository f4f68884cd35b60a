// The console the report is printed on.
#pragma once

// Lets the console show the report's UTF-8 text (Chinese names) as it is.
void PrepareConsoleForUtf8();
