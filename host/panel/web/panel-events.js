// wqhost panel: the event stream shared by every page of the panel in one
// browser (a SharedWorker). A browser opens only a few connections to one
// server at a time; with one stream per page, a few pages would take them all
// and the next page, or the next request, would wait for good. Here all pages
// share one stream, whatever their number.
//
// To the pages: {kind: 'event', data: <event JSON text>}, {kind: 'down'} when
// the stream broke (it reconnects by itself), {kind: 'refused', message} when
// the server refused the stream (it says why; tried again every 5 s).
'use strict';

const ports = new Set();
let source = null;
let retry = null;

function tell(message) {
  for (const port of ports) port.postMessage(message);
}

// The server's reason for refusing the stream, read from a plain request;
// when it now accepts, the stream is opened again.
async function whyRefused() {
  const abort = new AbortController();
  try {
    const res = await fetch('/api/events', { signal: abort.signal, cache: 'no-store' });
    if (res.ok) {
      abort.abort();
      open();
      return;
    }
    const body = await res.json().catch(() => ({}));
    tell({ kind: 'refused', message: body.error || `${res.status} ${res.statusText}` });
  } catch (e) {
    tell({ kind: 'down' });
  }
  retry = setTimeout(() => { retry = null; open(); }, 5000);
}

function open() {
  if (retry) { clearTimeout(retry); retry = null; }
  if (source) source.close();
  source = new EventSource('/api/events');
  source.onmessage = (m) => tell({ kind: 'event', data: m.data });
  source.onerror = () => {
    if (source.readyState === EventSource.CLOSED) {
      // Answered, but not with a stream: no retry of its own.
      source = null;
      whyRefused();
    } else {
      tell({ kind: 'down' });
    }
  };
}

self.onconnect = (e) => {
  const port = e.ports[0];
  ports.add(port);
  port.onmessage = (m) => {
    if (m.data === 'bye') ports.delete(port);
  };
  port.start();
  // The stream starts with the whole state; a new page needs it too.
  open();
};
