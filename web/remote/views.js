// The page's views, one shown at a time, chosen by tabs: a press or the arrow keys (Home, End)
// move between them, as in a tab list.

export function bindTabs(tablist, onShow = () => {}) {
  const tabs = [...tablist.querySelectorAll('[role="tab"]')];
  const panelOf = (tab) => document.getElementById(tab.getAttribute('aria-controls'));

  const show = (chosen, focus = false) => {
    for (const tab of tabs) {
      const selected = tab === chosen;
      tab.setAttribute('aria-selected', String(selected));
      tab.tabIndex = selected ? 0 : -1;
      panelOf(tab).hidden = !selected;
    }
    document.body.dataset.view = chosen.dataset.view;
    if (focus) chosen.focus();
    onShow(chosen.dataset.view);
  };

  for (const tab of tabs) tab.addEventListener('click', () => show(tab));
  tablist.addEventListener('keydown', (event) => {
    const at = tabs.indexOf(document.activeElement);
    if (at < 0) return;
    const to = { ArrowLeft: at - 1, ArrowRight: at + 1, Home: 0, End: tabs.length - 1 }[event.key];
    if (to === undefined) return;
    event.preventDefault();
    show(tabs[(to + tabs.length) % tabs.length], true);
  });
  show(tabs[0]);
}
