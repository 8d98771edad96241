#include "hid/hid_report_block.h"

#include <algorithm>

std::size_t WholeReports(std::size_t size, std::size_t offset, std::size_t reportSize,
                         std::size_t count) {
    if (reportSize == 0 || size <= offset) {
        return 0;
    }
    return std::min(count, (size - offset) / reportSize);
}
