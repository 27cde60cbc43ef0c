/* floor PLAN: the least any program could do for one of Quillet's operations, so that
 * tools/floor-bench.sh can time the quillet command against it. It runs the plan's steps in
 * order, one a line, fields separated by tabs ("\\", "\n" and "\t" escaped in the fields):
 *
 *   read PATH               reads the whole file
 *   query DATABASE SQL      runs the statements, printing every row (a listing)
 *   sql DATABASE SQL        runs the statements, reading every row (a transaction, a lookup)
 *   get HOST PORT TARGET    one HTTP/1.1 GET on loopback, reading the whole answer
 *   write PATH SOURCE       writes SOURCE's bytes to PATH durably: a temporary file beside it,
 *                           synchronised, renamed over PATH, and the folder synchronised
 *   remove PATH             removes a file
 *   removetree PATH         removes a folder and what it holds
 *   run PROGRAM ARG...      runs a program (the osascript and defaults tools) and waits
 *   log PATH TEXT           appends one line to a log and synchronises it
 *
 * Each step stops the program with exit status 1 when it fails. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <fcntl.h>
#include <ftw.h>
#include <libgen.h>
#include <netinet/in.h>
#include <sqlite3.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

enum { kMaxFields = 64 };

static void Fail(const char* step, const char* detail) {
    fprintf(stderr, "floor: %s %s failed\n", step, detail ? detail : "");
    exit(1);
}

/* Undoes the plan's escapes in place. */
static void Unescape(char* text) {
    char* out = text;
    for (const char* in = text; *in; ++in) {
        if (*in == '\\' && in[1]) {
            ++in;
            *out++ = *in == 'n' ? '\n' : *in == 't' ? '\t' : *in;
        } else {
            *out++ = *in;
        }
    }
    *out = '\0';
}

static char* ReadWhole(const char* path, size_t* size) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return NULL;
    size_t capacity = 65536, used = 0;
    char* data = malloc(capacity + 1);
    for (;;) {
        if (used == capacity)
            data = realloc(data, (capacity *= 2) + 1);
        const ssize_t got = read(fd, data + used, capacity - used);
        if (got < 0) {
            free(data);
            close(fd);
            return NULL;
        }
        if (got == 0)
            break;
        used += (size_t)got;
    }
    close(fd);
    data[used] = '\0';
    *size = used;
    return data;
}

static int WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, data, size);
        if (written <= 0)
            return 0;
        data += written;
        size -= (size_t)written;
    }
    return 1;
}

static void SynchroniseFolderOf(const char* path) {
    char copy[4096];
    snprintf(copy, sizeof copy, "%s", path);
    const int folder = open(dirname(copy), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 || fsync(folder) != 0)
        Fail("synchronise the folder of", path);
    close(folder);
}

static void Read(const char* path) {
    size_t size = 0;
    char* data = ReadWhole(path, &size);
    if (!data)
        Fail("read", path);
    free(data);
}

static int PrintRow(void* print, int columns, char** values, char** names) {
    (void)names;
    if (print) {
        for (int i = 0; i < columns; ++i)
            printf(i + 1 < columns ? "%s\t" : "%s\n", values[i] ? values[i] : "");
    }
    return 0;
}

static void Sql(const char* database, const char* sql, int print) {
    sqlite3* db = NULL;
    if (sqlite3_open_v2(database, &db, SQLITE_OPEN_READWRITE, NULL) != SQLITE_OK)
        Fail("open", database);
    sqlite3_busy_timeout(db, 5000);
    char* error = NULL;
    if (sqlite3_exec(db, sql, PrintRow, print ? (void*)1 : NULL, &error) != SQLITE_OK)
        Fail("run SQL on", error);
    sqlite3_close(db);
}

static void Get(const char* host, const char* port, const char* target) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_in address = {0};
    address.sin_family = AF_INET;
    address.sin_port = htons((unsigned short)atoi(port));
    inet_pton(AF_INET, host, &address.sin_addr);
    if (fd < 0 || connect(fd, (struct sockaddr*)&address, sizeof address) != 0)
        Fail("connect to", host);
    char request[1 << 16];
    const int length =
        snprintf(request, sizeof request,
                 "GET %s HTTP/1.1\r\nHost: %s:%s\r\nConnection: close\r\n\r\n", target, host, port);
    if (length <= 0 || (size_t)length >= sizeof request || !WriteAll(fd, request, (size_t)length))
        Fail("send", target);
    char buffer[65536];
    size_t total = 0;
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        total += (size_t)got;
    close(fd);
    if (got < 0 || total == 0)
        Fail("receive", target);
}

static void Write(const char* path, const char* source) {
    size_t size = 0;
    char* data = ReadWhole(source, &size);
    if (!data)
        Fail("read", source);
    char temporary[4096];
    snprintf(temporary, sizeof temporary, "%s.floor.tmp", path);
    const int fd = open(temporary, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || !WriteAll(fd, data, size) || fsync(fd) != 0 || close(fd) != 0)
        Fail("write", temporary);
    if (rename(temporary, path) != 0)
        Fail("rename", temporary);
    SynchroniseFolderOf(path);
    free(data);
}

static int RemoveEntry(const char* path, const struct stat* info, int type, struct FTW* walk) {
    (void)info, (void)type, (void)walk;
    return remove(path);
}

static void Run(char** arguments) {
    const pid_t child = fork();
    if (child == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        execv(arguments[0], arguments);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        Fail("run", arguments[0]);
}

static void Log(const char* path, const char* text) {
    const int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    char line[8192];
    const time_t now = time(NULL);
    char stamp[64];
    strftime(stamp, sizeof stamp, "%B %d, %Y at %I:%M:%S %p %Z", localtime(&now));
    const int length = snprintf(line, sizeof line, "[%s] Info: %s\n", stamp, text);
    if (fd < 0 || length <= 0 || !WriteAll(fd, line, (size_t)length) || fdatasync(fd) != 0)
        Fail("log to", path);
    close(fd);
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: floor PLAN\n");
        return 2;
    }
    size_t size = 0;
    char* plan = ReadWhole(argv[1], &size);
    if (!plan)
        Fail("read", argv[1]);
    for (char* line = strtok(plan, "\n"); line; line = strtok(NULL, "\n")) {
        char* fields[kMaxFields + 1] = {0};
        int count = 0;
        for (char* field = line; field && count < kMaxFields; ++count) {
            fields[count] = field;
            field = strchr(field, '\t');
            if (field)
                *field++ = '\0';
        }
        for (int i = 0; i < count; ++i)
            Unescape(fields[i]);
        const char* step = fields[0];
        if (strcmp(step, "read") == 0 && count == 2)
            Read(fields[1]);
        else if (strcmp(step, "query") == 0 && count == 3)
            Sql(fields[1], fields[2], 1);
        else if (strcmp(step, "sql") == 0 && count == 3)
            Sql(fields[1], fields[2], 0);
        else if (strcmp(step, "get") == 0 && count == 4)
            Get(fields[1], fields[2], fields[3]);
        else if (strcmp(step, "write") == 0 && count == 3)
            Write(fields[1], fields[2]);
        else if (strcmp(step, "remove") == 0 && count == 2) {
            if (unlink(fields[1]) != 0)
                Fail("remove", fields[1]);
        } else if (strcmp(step, "removetree") == 0 && count == 2) {
            if (nftw(fields[1], RemoveEntry, 16, FTW_DEPTH | FTW_PHYS) != 0)
                Fail("remove", fields[1]);
        } else if (strcmp(step, "run") == 0 && count >= 2)
            Run(fields + 1);
        else if (strcmp(step, "log") == 0 && count == 3)
            Log(fields[1], fields[2]);
        else
            Fail("understand the step", step);
    }
    fflush(stdout);
    free(plan);
    return 0;
}
