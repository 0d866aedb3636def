// DeepSeek's page at work: a sent prompt becomes a user item and a reply item
// in the visible-items list; the send button turns into an icon-only stop
// button while the reply streams, and the reply's action bar comes after.
window.velmarSites = window.velmarSites || {};
window.velmarSites["deepseek"] = (kit) => {
  const { $, $$, last, rich } = kit;
  const list = $(".ds-virtual-list-visible-items");
  let key = list.children.length;
  return {
    add(prompt) {
      const u = last($$("._9663006", list)).cloneNode(true);
      const a = last($$("._4f9bf79", list)).cloneNode(true);
      u.dataset.virtualListItemKey = ++key;
      a.dataset.virtualListItemKey = ++key;
      $(".fbb737a4", u).textContent = prompt;
      const md = $(".ds-markdown", a);
      md.replaceChildren();
      // A plain reply streams into one paragraph; a rich one brings its own.
      if (!rich) md.append(Object.assign(document.createElement("p"), { className: "ds-markdown-paragraph" }));
      list.append(u, a);
      const send = $("._7436101");
      const stop = send.cloneNode(true);
      stop.className = "ds-icon-button _7436101 _52c986b";
      stop.setAttribute("aria-disabled", "false");
      send.hidden = true;
      send.after(stop);
      return {
        target: rich ? md : md.firstChild, busy: [stop], done: [$("._0a3d93b", a)],
        onDone: () => { send.hidden = false; },
      };
    },
    bubbles() {
      return $$("._9663006, ._4f9bf79", list).map((m) =>
        m.classList.contains("_9663006") ? ["user", $(".fbb737a4", m)] : ["assistant", $(".ds-markdown", m)]);
    },
    apart: ".ds-markdown-cite",
  };
};
