// The page's side of the bridge. The portal arms and disarms a screen broadcast
// with TarvelBroadcast.arm(url, key) / TarvelBroadcast.disarm(), with a
// "tarvel-broadcast" event whose detail is the message itself, or by posting
// the message on window.webkit.messageHandlers.tarvelBroadcast. Every way
// hands the message as text to the relay in the bridge's own world of this
// same frame; nothing here can post to the app directly.
(() => {
  if (window.TarvelBroadcast) return;
  const post = (message) => {
    if (!message || typeof message !== "object") return;
    let text;
    try {
      text = JSON.stringify(message);
    } catch {
      return;
    }
    window.dispatchEvent(new CustomEvent("tarvel-broadcast-request", { detail: text }));
  };
  window.TarvelBroadcast = Object.freeze({
    arm: (url, key) => post({ type: "armed", url: String(url), key: String(key) }),
    disarm: () => post({ type: "disarmed" }),
  });
  window.addEventListener("tarvel-broadcast", (event) => post(event.detail));
  const webkit = window.webkit || (window.webkit = {});
  const handlers = webkit.messageHandlers || (webkit.messageHandlers = {});
  handlers.tarvelBroadcast = Object.freeze({ postMessage: post });

  const ready = () => window.dispatchEvent(new Event("tarvel-broadcast-ready"));
  if (document.readyState === "loading") {
    document.addEventListener("DOMContentLoaded", ready, { once: true });
  } else {
    ready();
  }
})();
