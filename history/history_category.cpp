#include "history/history_category.h"

LogCategory lcHistory("quorvel.history");
