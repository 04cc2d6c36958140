/* A stand-in for the ALSA sequencer, preloaded into Qtractor by the
 * claphost_qtractor test. Qtractor will not start its engines without a
 * sequencer, and machines without sound hardware (containers, CI) have no
 * /dev/snd/seq. These functions answer like a sequencer with no other
 * clients and nothing to say: Qtractor gets its client, ports and queue,
 * its MIDI goes nowhere, and its audio runs on JACK as usual.
 *
 * Only the calls that take the sequencer's handle are replaced; the
 * accessors of the info records (allocated by libasound itself, zeroed) stay
 * libasound's. The types are opaque here so that no ALSA headers are needed. */
#include <errno.h>
#include <poll.h>
#include <stddef.h>
#include <unistd.h>

typedef struct fake_seq { int client; } fake_seq;

enum { kClientId = 128, kQueueId = 0 };

static fake_seq the_seq = { kClientId };
static int next_port = 0;
/* A pipe nobody writes to: Qtractor's input thread polls it and hears nothing. */
static int quiet_pipe[2] = { -1, -1 };

int snd_seq_open(void **handle, const char *name, int streams, int mode)
{
    (void)name; (void)streams; (void)mode;
    if (quiet_pipe[0] < 0 && pipe(quiet_pipe) != 0)
        return -errno;
    *handle = &the_seq;
    return 0;
}

int snd_seq_close(void *seq) { (void)seq; return 0; }
int snd_seq_set_client_name(void *seq, const char *name) { (void)seq; (void)name; return 0; }
int snd_seq_client_id(void *seq) { return ((fake_seq *)seq)->client; }

int snd_seq_alloc_queue(void *seq) { (void)seq; return kQueueId; }
int snd_seq_free_queue(void *seq, int q) { (void)seq; (void)q; return 0; }
int snd_seq_control_queue(void *seq, int q, int type, int value, void *ev)
{
    (void)seq; (void)q; (void)type; (void)value; (void)ev;
    return 0;
}
int snd_seq_get_queue_status(void *seq, int q, void *status) { (void)seq; (void)q; (void)status; return 0; }
int snd_seq_get_queue_tempo(void *seq, int q, void *tempo) { (void)seq; (void)q; (void)tempo; return 0; }
int snd_seq_set_queue_tempo(void *seq, int q, void *tempo) { (void)seq; (void)q; (void)tempo; return 0; }
int snd_seq_set_queue_timer(void *seq, int q, void *timer) { (void)seq; (void)q; (void)timer; return 0; }
int snd_seq_remove_events(void *seq, void *rmp) { (void)seq; (void)rmp; return 0; }

int snd_seq_create_simple_port(void *seq, const char *name, unsigned caps, unsigned type)
{
    (void)seq; (void)name; (void)caps; (void)type;
    return next_port++;
}
int snd_seq_delete_simple_port(void *seq, int port) { (void)seq; (void)port; return 0; }
int snd_seq_get_port_info(void *seq, int port, void *info) { (void)seq; (void)port; (void)info; return 0; }
int snd_seq_set_port_info(void *seq, int port, void *info) { (void)seq; (void)port; (void)info; return 0; }

/* Nobody else is there. */
int snd_seq_get_any_client_info(void *seq, int client, void *info)
{
    (void)seq; (void)client; (void)info;
    return -ENOENT;
}
int snd_seq_get_any_port_info(void *seq, int client, int port, void *info)
{
    (void)seq; (void)client; (void)port; (void)info;
    return -ENOENT;
}
int snd_seq_query_next_client(void *seq, void *info) { (void)seq; (void)info; return -ENOENT; }
int snd_seq_query_next_port(void *seq, void *info) { (void)seq; (void)info; return -ENOENT; }
int snd_seq_query_port_subscribers(void *seq, void *subs) { (void)seq; (void)subs; return -ENOENT; }
int snd_seq_subscribe_port(void *seq, void *sub) { (void)seq; (void)sub; return -ENOENT; }
int snd_seq_unsubscribe_port(void *seq, void *sub) { (void)seq; (void)sub; return -ENOENT; }

/* Events out are dropped; none come in. */
int snd_seq_event_output(void *seq, void *ev) { (void)seq; (void)ev; return 0; }
int snd_seq_event_output_direct(void *seq, void *ev) { (void)seq; (void)ev; return 0; }
int snd_seq_drain_output(void *seq) { (void)seq; return 0; }
int snd_seq_drop_output(void *seq) { (void)seq; return 0; }
int snd_seq_drop_input(void *seq) { (void)seq; return 0; }
int snd_seq_event_input(void *seq, void **ev)
{
    (void)seq;
    *ev = NULL;
    return -EAGAIN;
}
int snd_seq_event_input_pending(void *seq, int fetch) { (void)seq; (void)fetch; return 0; }

int snd_seq_poll_descriptors_count(void *seq, short events) { (void)seq; (void)events; return 1; }
int snd_seq_poll_descriptors(void *seq, struct pollfd *pfds, unsigned space, short events)
{
    (void)seq; (void)events;
    if (space < 1)
        return 0;
    pfds[0].fd = quiet_pipe[0];
    pfds[0].events = POLLIN;
    pfds[0].revents = 0;
    return 1;
}
