// Lets the portal arm and disarm a screen broadcast in the app. The portal
// calls TarvelBroadcast.arm(url, key) / TarvelBroadcast.disarm(), or dispatches
// a "tarvel-broadcast" event whose detail is the message itself.
(() => {
  const handler = window.webkit && window.webkit.messageHandlers && window.webkit.messageHandlers.tarvelBroadcast;
  if (!handler || window.TarvelBroadcast) return;
  const post = (message) => handler.postMessage(message);
  window.TarvelBroadcast = Object.freeze({
    arm: (url, key) => post({ type: "armed", url: String(url), key: String(key) }),
    disarm: () => post({ type: "disarmed" }),
  });
  window.addEventListener("tarvel-broadcast", (event) => {
    if (event.detail && typeof event.detail === "object") post(event.detail);
  });
  window.dispatchEvent(new Event("tarvel-broadcast-ready"));
})();
