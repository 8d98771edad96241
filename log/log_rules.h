#pragma once

// Sets the categories' thresholds from rules written as Qt writes its logging rules (the
// same QT_LOGGING_RULES the window takes through Qt): "CATEGORY[.LEVEL]=true|false",
// separated by ';' or new lines, where CATEGORY may start or end with '*' and LEVEL is
// debug, info, warning or critical; later rules win. A category shows a level when a rule
// enables it, or when it is at or above the category's own threshold and no rule disables
// it. Lines that do not fit are ignored. Null or empty rules change nothing.
void ApplyLogRules(const char* rules);
