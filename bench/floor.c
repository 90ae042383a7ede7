// SPDX-License-Identifier: MIT
/*
 * The floor for reporting on title files: only the work no such tool can
 * avoid. For each file named: open it, take its length, read its header
 * block, read its content records, close it, and write one report-sized
 * line to standard output. No classification, no formatting beyond that.
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

enum { HeaderMax = 3812, TmdInWad = 0xD00, TmdHeader = 484, CountAt = 0x1DE, Record = 36, IssuerAt = 0x150 };

static unsigned char header[HeaderMax];
static unsigned char records[65535 * Record];

int main(int argc, char **argv) {
    for (int i = 1; i < argc; ++i) {
        int fd = open(argv[i], O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 11;
        struct stat st;
        if (fstat(fd, &st) != 0)
            return 14;
        size_t n = st.st_size < HeaderMax ? (size_t)st.st_size : HeaderMax;
        if (pread(fd, header, n, 0) != (ssize_t)n)
            return 11;
        size_t tmd = n == HeaderMax ? TmdInWad : 0;
        int ticket = n < HeaderMax && n > IssuerAt && header[IssuerAt] == 'X';
        size_t count = !ticket && n >= tmd + TmdHeader ? (size_t)(header[tmd + CountAt] << 8 | header[tmd + CountAt + 1]) : 0;
        if (count > 0 && pread(fd, records, count * Record, (off_t)(tmd + TmdHeader)) < 0)
            return 11;
        close(fd);
        /* About as many bytes as a report. */
        printf("\nTMD info of \"%s\" :\n\nPath: '%08X\\%08X'\nType: %s\nTitleID: '%.4s'    Version: %u\n"
               "IOS Flag: IOS%u    Region Flag: %s\nData files: %zu\nSize: %zu byte (%zu blocks)\n%s\n",
               argv[i], header[0], header[1], "Channel Title", "ABCD", (unsigned)header[2], (unsigned)header[3],
               "Europe", count, count * Record, count,
               "______________________________________________________________________________");
    }
    return 0;
}
