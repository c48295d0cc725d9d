// The bridge's relay. It runs in the bridge's own script world in every frame:
// page script shares the document with it but cannot see or change its code,
// and only this world can post to the app. It hands on what the page asked
// for, with the origin of the frame that asked, read here where the page
// cannot forge it; the app decides from that origin whether the message counts.
(() => {
  const handler = window.webkit.messageHandlers.tarvelBroadcast;
  window.addEventListener("tarvel-broadcast-request", (event) => {
    if (typeof event.detail !== "string") return;
    let request;
    try {
      request = JSON.parse(event.detail);
    } catch {
      return;
    }
    if (!request || typeof request !== "object") return;
    const message = { frameOrigin: location.origin };
    for (const field of ["type", "url", "key"]) {
      if (Object.hasOwn(request, field)) message[field] = request[field];
    }
    handler.postMessage(message);
  });
})();
