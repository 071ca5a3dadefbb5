/*
 * window_table.cpp - the window table, every process-wide variable of the
 * library, and the small utilities that all areas share.
 */
#include "kova_private.h"
#include "window_records.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <cerrno>
#include <ctime>
#include <unistd.h>

pc_window *Pc = nullptr;
int N_Pc = 0;

Display *Pc_dis = nullptr;
Window Pc_zwin = 0;
Visual *Pc_visual = nullptr;
int Pc_depth = 8;
Colormap Pc_cmap = 0;
XVisualInfo *Pc_vinfo_ptr = nullptr;
int Red_depth = 0, Green_depth = 0, Blue_depth = 0;
int Red_sft = 0, Green_sft = 0, Blue_sft = 0;
int Pc_display_width = 0, Pc_display_height = 0;
int Pc_root_width = 0, Pc_root_height = 0;

int Pc_attributes = KOVA_ATTR_SCROLLBARS | KOVA_ATTR_Y_UP;
int Pc_bdr_width = 0;
char *Pc_bordercolor = nullptr, *Pc_bgcolor = nullptr, *Pc_geometry = nullptr;
char *Pc_storename = nullptr, *Pc_iconname = nullptr;
char *Pc_classhint_res_name = nullptr, *Pc_classhint_res_class = nullptr;

char _Pname[5] = "KOVA";
const char *Pname = _Pname;
int Pid = -1;
int Wn = -1;

volatile sig_atomic_t Cpid = 0;
volatile sig_atomic_t Cpid_tmp = 0;
volatile sig_atomic_t Cpid_saveimg = 0;
volatile sig_atomic_t Chld_imgsave_stat = 0;
volatile sig_atomic_t Cpid_tmp_status = -1;
volatile sig_atomic_t Cpid_saveimg_status = -1;
volatile sig_atomic_t Save_due = 0;

int Pc_nonblock = 0;
int Pc_nonflush = 0;
int Pc_kovahandlers_are_set = 0;

int Exec_fd = -1;
char Exec_slave_tmp[20] = "/tmp/_xslave_XXXXXX";
pid_t Exec_owner = 0;
volatile sig_atomic_t Exit_status = 0;
Display *Quiet_dis = nullptr;
unsigned long Quiet_request = 0;

int Pc_evrec_wid = -1, Pc_evrec_pointer_x = Offscreen_position,
    Pc_evrec_pointer_y = Offscreen_position;
int Pc_evrec_button_mask = 0;
Atom Pc_wm_protocols = None, Pc_wm_delete_window = None;

const char *const Pc_fnt[24] = {
    "5x7",  "5x7",  "5x7",  "5x7",  "5x7",  "5x7",  "5x7",  "5x8",
    "6x9",  "6x10", "6x10", "6x12", "6x13", "7x14", "7x14", "8x16",
    "8x16", "8x16", "8x16", "10x20", "10x20", "10x20", "10x20", "12x24",
};
const char *const Pc_fallbackfnt = "fixed";
const char *const Pc_fallbackfnt_fmt = "-*-fixed-medium-r-normal--%s-*";
fontset_entry *Pc_fscache = nullptr;
int Pc_nfscache = 0;
turned_piece Pc_turned[N_turned];
Pixmap Turn_source = 0;
int Turn_source_width = 0, Turn_source_height = 0;
GC Turn_gc = nullptr;

XColor *Pc_cmapcolors = nullptr;
int Pc_ncmapcolors = 0;
int Pc_cmapfull = 0;

unsigned char *Tmp_img24buf = nullptr;
size_t Sz_tmp_img24buf = 0;
Pixmap Pix_mask = 0;
GC Gc_pix_mask = nullptr;
int Pix_mask_width = 0, Pix_mask_height = 0;

const char Kova_message_prefix[] = "KOVA";

/* exit(1), so that the exit handler still stops the children. */
void _kova_fatal_exit(void)
{
    exit(1);
}

void resize_Pc(int n)
{
    if (n == N_Pc)
        return;
    int old = N_Pc;
    resize_records(Pc, N_Pc, n);
    for (int i = old; i < n; i++)
        Pc[i].font_size = -1;
}

int choose_slot(int numbered)
{
    if (N_Pc == 0)
        resize_Pc(2);
    int slot;
    if (!numbered) {
        if (Pc[0].in_use)
            return -1;
        slot = 0;
    } else {
        for (slot = 1; slot < N_Pc && Pc[slot].in_use; slot++)
            ;
        if (slot == N_Pc)
            resize_Pc(N_Pc + 1);
    }
    Pc[slot].in_use = 1;
    return slot;
}

void shrink_Pc(void)
{
    resize_Pc(shrunk_size(Pc, N_Pc));
}

bool window_slot_open(int wn)
{
    return wn >= 0 && wn < N_Pc && Pc[wn].in_use && Pc_dis;
}

bool window_is_open(int wn)
{
    if (window_slot_open(wn))
        return true;
    _kova_warn("Window %d is not open.", wn);
    return false;
}

bool arrays_given(const void *x, const void *y, int n)
{
    if (n <= 0)
        return false;
    if (x && y)
        return true;
    _kova_warn("NULL coordinate array ignored.");
    return false;
}

int _kova_iround(double x)
{
    if (std::isnan(x))
        return INT_MAX;
    if (x >= static_cast<double>(INT_MAX))
        return INT_MAX;
    if (x <= static_cast<double>(INT_MIN))
        return INT_MIN;
    return x < 0 ? static_cast<int>(x - 0.5) : static_cast<int>(x + 0.5);
}

char *_kova_vasprintf(const char *format, va_list ap)
{
    if (!format)
        return nullptr;
    size_t size = 64;
    auto *buf = static_cast<char *>(_kova_xmalloc(size));
    va_list again;
    va_copy(again, ap);
    int n = vsnprintf(buf, size, format, ap);
    if (n < 0) {
        buf[0] = '\0';
    } else if (static_cast<size_t>(n) >= size) {
        size = static_cast<size_t>(n) + 1;
        buf = static_cast<char *>(_kova_xrealloc(buf, size));
        vsnprintf(buf, size, format, again);
    }
    va_end(again);
    return buf;
}

char *_kova_asprintf(const char *format, ...)
{
    va_list ap;
    va_start(ap, format);
    char *s = _kova_vasprintf(format, ap);
    va_end(ap);
    return s;
}

int _kova_signal(int sig, int flags, void (*handler)(int))
{
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler ? handler : SIG_DFL;
    sigemptyset(&sa.sa_mask);
    sigaddset(&sa.sa_mask, sig);
    sa.sa_flags = flags;
    return sigaction(sig, &sa, nullptr);
}

char *_kova_xstrdup_toupper(const char *s)
{
    char *p = _kova_xstrdup(s);
    for (char *q = p; *q; q++)
        *q = static_cast<char>(toupper(static_cast<unsigned char>(*q)));
    return p;
}

/* nanosleep rather than usleep: no overflow for long sleeps, and a signal
 * (a child ending) does not cut the sleep short. */
extern "C" KOVA_API void kova_msleep(unsigned int ms)
{
    struct timespec req = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    struct timespec rem;
    while (nanosleep(&req, &rem) == -1 && errno == EINTR)
        req = rem;
}

/* Ends also when the saving child is gone without its SIGCHLD having been
 * seen (the application replaced the handler, say). */
void wait_child(void)
{
    /* Every drawing call passes here: nothing more while no save ran. */
    if (!Chld_imgsave_stat && !Save_due)
        return;
    if (Chld_imgsave_stat) {
        wait_child_end(&Cpid_saveimg, -1);
        Chld_imgsave_stat = 0;
    }
    take_save_outcome();
}

int wait_pid_cleared(volatile sig_atomic_t *pid, int timeout_ms)
{
    for (int waited = 0; *pid > 0; waited += 10) {
        if (timeout_ms >= 0 && waited >= timeout_ms)
            return -1;
        kova_msleep(10);
    }
    return 0;
}
