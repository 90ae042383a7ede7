// SPDX-License-Identifier: MIT
/*
 * The floor for reporting on title files: only the work no such tool can
 * avoid. For each file named: open it, take its length, read its header
 * block, read its content records, close it, and write as many bytes as a
 * report to standard output. No classification, no formatting beyond that.
 *   floor FILE...      output the size of the text report
 *   floor -j FILE...   output the size of a JSON line: one piece a content
 */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { HeaderMax = 3812, TmdInWad = 0xD00, TmdHeader = 484, CountAt = 0x1DE, Record = 36, IssuerAt = 0x150 };

static unsigned char header[HeaderMax];
static unsigned char records[65535 * Record];

/* About as many bytes as a JSON line: the title's fields and one piece a content. */
static void jsonSized(const char *name, size_t count) {
    printf("{\"file\":\"%s\",\"kind\":\"tmd\",\"titleId\":\"%08X%08X\",\"type\":\"%s\",\"name\":\"%.4s\","
           "\"version\":%u,\"maker\":\"%.2s\",\"ios\":%u,\"region\":\"%s\",\"regionCode\":%u,\"contents\":[",
           name, header[0], header[1], "Channel Title", "ABCD", (unsigned)header[2], "TL", (unsigned)header[3],
           "Europe", (unsigned)header[4]);
    for (size_t c = 0; c < count; ++c) {
        const unsigned char *r = records + c * Record;
        printf("%s{\"id\":\"%08X\",\"index\":%u,\"type\":%u,\"shared\":false,\"size\":%u,\"sha1\":\"%08x%08x%08x%08x%08x\"}",
               c ? "," : "", (unsigned)r[0], (unsigned)r[4], (unsigned)r[6], (unsigned)r[8], (unsigned)r[16],
               (unsigned)r[20], (unsigned)r[24], (unsigned)r[28], (unsigned)r[32]);
    }
    printf("],\"size\":%zu,\"ownSize\":%zu,\"sharedSize\":0,\"blocks\":1,\"ownBlocks\":1,\"ticket\":{\"ticketId\":"
           "\"%016X\",\"consoleId\":\"00000000\",\"personal\":false,\"commonKey\":\"standard\"}}\n",
           count * Record, count * Record, (unsigned)header[5]);
}

int main(int argc, char **argv) {
    int json = argc > 1 && strcmp(argv[1], "-j") == 0;
    for (int i = 1 + json; i < argc; ++i) {
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
        if (json) {
            jsonSized(argv[i], count);
            continue;
        }
        /* About as many bytes as a report. */
        printf("\nTMD info of \"%s\" :\n\nPath: '%08X\\%08X'\nType: %s\nTitleID: '%.4s'    Version: %u\n"
               "IOS Flag: IOS%u    Region Flag: %s\nData files: %zu\nSize: %zu byte (%zu blocks)\n%s\n",
               argv[i], header[0], header[1], "Channel Title", "ABCD", (unsigned)header[2], (unsigned)header[3],
               "Europe", count, count * Record, count,
               "______________________________________________________________________________");
    }
    return 0;
}
